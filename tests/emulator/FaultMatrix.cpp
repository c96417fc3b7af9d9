#include "tests/emulator/FaultMatrix.h"

#include <memory>

namespace faultmatrix {

namespace {

gcemu::FaultRule Rule(gcemu::FaultKind kind, int status = 0, int count = 1, const std::string& body = "") {
    gcemu::FaultRule rule;
    rule.kind = kind;
    rule.status = status;
    rule.count = count;
    rule.body = body;
    return rule;
}

}  // namespace

std::vector<Fault> Faults() {
    using gcemu::FaultKind;
    std::vector<Fault> faults;
    for (int status : {400, 403, 404, 409, 412, 429, 500, 503})
        faults.push_back({std::to_string(status), Rule(FaultKind::kStatus, status), std::to_string(status)});
    // A token the server keeps refusing: one renewal and one resend, then the refusal.
    faults.push_back({"401 storm", Rule(FaultKind::kStatus, 401, 1000), "401"});
    faults.push_back({"reset", Rule(FaultKind::kReset), "UNAVAILABLE"});
    gcemu::FaultRule stall = Rule(FaultKind::kStall);
    stall.stallMs = 2500;
    faults.push_back({"stall", stall, "UNAVAILABLE"});
    faults.push_back({"truncated body", Rule(FaultKind::kTruncate, 200), "UNAVAILABLE"});
    faults.push_back({"malformed JSON", Rule(FaultKind::kMalformed, 200), "INVALID_RESPONSE"});
    faults.push_back({"empty 200", Rule(FaultKind::kEmpty, 200), "INVALID_RESPONSE"});
    return faults;
}

void FaultMatrixTest::SetUp() {
    EmulatorTest::SetUp();
    UseSettings("[GoogleCloud]\nnHttpStallTimeoutSecs=1\nnHttpConnectTimeoutSecs=2\n");
}

void FaultMatrixTest::RunMatrix(const std::vector<Call>& calls, const std::vector<Fault>& faults,
                                const std::function<void()>& prepare) {
    for (const Call& call : calls) {
        for (const Fault& fault : faults) {
            const std::string label = call.name + " / " + fault.name;
            Emulator().ResetWorld();
            if (prepare) prepare();
            std::unique_ptr<CGoogleCloudSDKWrapper> wrapper;
            if (call.signsIn) {
                wrapper = std::make_unique<CGoogleCloudSDKWrapper>();
                ASSERT_TRUE(wrapper->Init()) << label;
            } else {
                wrapper = Connected();
            }
            gcemu::FaultRule rule = fault.rule;
            rule.method = call.method;
            rule.hostAndPathPrefix = call.target;
            Emulator().faults().Add(rule);
            const size_t tokensBefore = Requests("POST", "www.googleapis.com", "/oauth2");

            const Outcome outcome = call.run(*wrapper);
            const std::string message = wrapper->GetLastError(), code = wrapper->GetLastErrorCode();
            const std::string wanted = call.code.empty() ? fault.code : call.code;
            if (call.trueOn404 && fault.rule.status == 404) {
                EXPECT_TRUE(outcome.ok) << label << ": " << message;
                continue;
            }
            if (outcome.ok && call.done) {
                Emulator().faults().Clear();
                EXPECT_TRUE(call.done(*Connected())) << label << ": reported done, and it was not";
                continue;
            }
            // libcurl sends a request again, once, when a kept-alive connection dies before any answer;
            // gcemu resets before it handles the request, so the change is then made once.
            if (fault.name == "reset" && outcome.ok) continue;
            if (call.partial) {
                if (outcome.ok && code.empty()) continue;  // the request was resent whole (a reset)
                EXPECT_EQ(code, wanted.empty() ? code : wanted) << label << ": " << message;
                EXPECT_FALSE(code.empty()) << label;
                continue;
            }
            EXPECT_FALSE(outcome.ok) << label;
            EXPECT_FALSE(outcome.filled) << label << ": a record filled from a failure";
            EXPECT_FALSE(message.empty()) << label << " (code " << code << ")";
            if (wanted.empty()) {
                EXPECT_FALSE(code.empty()) << label << ": " << message;
            } else {
                EXPECT_EQ(code, wanted) << label << ": " << message;
            }
            // However long the storm, a request renews its token once at most.
            if (!call.signsIn && !call.manyRequests) {
                EXPECT_LE(Requests("POST", "www.googleapis.com", "/oauth2") - tokensBefore, 1u) << label;
            }
        }
    }
    Emulator().faults().Clear();
}

void FaultMatrixTest::ExpectOperationFailure(const Call& call, const std::function<void()>& injectFailure,
                                             const std::string& code) {
    auto wrapper = Connected();
    injectFailure();
    const Outcome outcome = call.run(*wrapper);
    EXPECT_FALSE(outcome.ok) << call.name;
    EXPECT_FALSE(outcome.filled) << call.name;
    EXPECT_FALSE(wrapper->GetLastError().empty()) << call.name;
    EXPECT_EQ(wrapper->GetLastErrorCode(), code) << call.name << ": " << wrapper->GetLastError();
}

}  // namespace faultmatrix
