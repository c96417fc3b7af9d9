// The fault matrix: every family of public methods against every way a request can fail (a refusal of
// each status, a 401 storm, a reset, a stall past the limit, a truncated, malformed or empty answer).
// Each case asserts what the caller then holds: false (or the documented true of a 404 that means
// "absent"), an error message and code it can show, and no record half-filled from the failure.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/EmulatorFixture.h"

namespace faultmatrix {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;

// What a call left behind.
struct Outcome {
    bool ok = false;
    bool filled = false;  // an output record or list holds something
};

// One public method, the request of it that the faults hit, and what a 404 there means.
struct Call {
    std::string name;
    std::string method;  // of the request faulted; "" any
    std::string target = "";  // host and path prefix of the request faulted
    std::function<Outcome(CGoogleCloudSDKWrapper&)> run;
    bool trueOn404 = false;  // documented: a 404 there means the resource is gone, and that is success
    bool signsIn = false;    // runs Connect itself: the facade is handed over initialised, not signed in
    // The code a caller reads after any failure of this call, when the method sets its own ("" the
    // fault's code).
    std::string code = "";
    // A list over several requests (zones, projects): each request may renew the token once, and a
    // failure leaves what the other requests found, with the failure in the error state (the caller
    // tells a partial list by it).
    bool partial = false;
    bool manyRequests = false;  // so the token may be renewed once for each
    // For a change: whether it was made. A change that reports success under a fault must have been
    // (a bucket the failed create left, found and reported as there).
    std::function<bool(CGoogleCloudSDKWrapper&)> done = nullptr;
};

// One way to fail, and the error code the caller must then read ("" any, but not empty).
struct Fault {
    std::string name;
    gcemu::FaultRule rule;  // method and target filled in per call
    std::string code = "";
};

// Every fault of the matrix; the stall lasts past the 1 s stall limit the matrix runs with.
std::vector<Fault> Faults();

class FaultMatrixTest : public testsupport::EmulatorTest {
protected:
    void SetUp() override;

    // Runs every call under every fault, each on a facade signed in afresh in a world reset and then
    // prepared (what the calls need that the default world lacks), the faults cleared between.
    void RunMatrix(const std::vector<Call>& calls, const std::vector<Fault>& faults,
                   const std::function<void()>& prepare = nullptr);
    // A call whose operation (or job) the test makes end in error: false, with the operation's error.
    void ExpectOperationFailure(const Call& call, const std::function<void()>& injectFailure,
                                const std::string& code);
};

}  // namespace faultmatrix
