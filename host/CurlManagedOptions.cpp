#include "host/CurlManagedOptions.h"

#include <curl/curl.h>

namespace host {

bool IsManagedCurlOption(int option) {
    switch (option) {
        case CURLOPT_SSL_VERIFYPEER:
        case CURLOPT_SSL_VERIFYHOST:
        case CURLOPT_SSL_OPTIONS:
        case CURLOPT_SSLVERSION:
        case CURLOPT_PROXY_SSL_VERIFYPEER:
        case CURLOPT_PROXY_SSL_VERIFYHOST:
        case CURLOPT_PROXY_SSL_OPTIONS:
        case CURLOPT_PROXY_SSLVERSION:
        case CURLOPT_DOH_SSL_VERIFYPEER:
        case CURLOPT_DOH_SSL_VERIFYHOST:
        case CURLOPT_USE_SSL:
// The bitmask forms are deprecated but still accepted by libcurl, so they must still be refused.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        case CURLOPT_PROTOCOLS:
        case CURLOPT_REDIR_PROTOCOLS:
#pragma GCC diagnostic pop
        case CURLOPT_FOLLOWLOCATION:
        case CURLOPT_UNRESTRICTED_AUTH:
        case CURLOPT_HTTP_VERSION:
        case CURLOPT_HEADER:
        case CURLOPT_NOBODY:
        case CURLOPT_POST:
        case CURLOPT_HTTPGET:
        case CURLOPT_UPLOAD:
        case CURLOPT_POSTFIELDSIZE:
        case CURLOPT_POSTFIELDSIZE_LARGE:
        case CURLOPT_NOSIGNAL:
        case CURLOPT_VERBOSE:
        case CURLOPT_NOPROGRESS:  // the stall limit lives in the progress callback
            return true;
        default:
            return false;
    }
}

}  // namespace host
