#include "host/HttpExchange.h"

#include <mutex>

namespace host {

namespace {

std::mutex& FactoryMutex() {
    static std::mutex mutex;
    return mutex;
}

HttpExchangeFactory& InstalledFactory() {
    static HttpExchangeFactory factory;
    return factory;
}

}  // namespace

IHttpExchange::~IHttpExchange() = default;

std::unique_ptr<IHttpExchange> MakeHttpExchange(const HttpClientOptions& options) {
    HttpExchangeFactory factory;
    {
        std::lock_guard<std::mutex> lock(FactoryMutex());
        factory = InstalledFactory();
    }
    // Called outside the lock so that a factory may itself make exchanges.
    if (factory) return factory(options);
    return MakeCurlHttpExchange(options);
}

ScopedHttpExchangeFactory::ScopedHttpExchangeFactory(HttpExchangeFactory factory) {
    std::lock_guard<std::mutex> lock(FactoryMutex());
    m_previous = std::move(InstalledFactory());
    InstalledFactory() = std::move(factory);
}

ScopedHttpExchangeFactory::~ScopedHttpExchangeFactory() {
    std::lock_guard<std::mutex> lock(FactoryMutex());
    InstalledFactory() = std::move(m_previous);
}

}  // namespace host
