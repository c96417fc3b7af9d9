// CryptoKey bodies as Cloud KMS reads them: members by their JSON or their proto names, types and enum
// values checked as Google's front end checks them, output-only members ignored; and the rules Google
// checks on a key's settings taken together.
// https://cloud.google.com/kms/docs/reference/rest/v1/projects.locations.keyRings.cryptoKeys
#pragma once

#include <string>

#include "emulator/GoogleErrors.h"
#include "host/json/JsonValue.h"

namespace gcemu {

// The settings a CryptoKey body gives, under JSON names, with durations and times in Google's form.
// Empty text is an empty body. False with the 400 for text that is not a JSON object, an unknown member,
// a wrong type, an enum value Google lacks, a malformed duration or time.
bool ReadCryptoKeyBody(const std::string& text, json_spirit::mObject& settings, GoogleError& error);
// The same for a body already read.
bool ReadCryptoKey(const json_spirit::mObject& body, json_spirit::mObject& settings, GoogleError& error);

// The same rules for a KeyRing body, whose members are all output-only.
bool ReadKeyRingBody(const std::string& text, GoogleError& error);

// Google's defaults for what the settings leave out: the algorithm of an ENCRYPT_DECRYPT key, protection
// level SOFTWARE, a destroy period of a day.
void AddCryptoKeyDefaults(json_spirit::mObject& settings);

// What Google checks on a key's settings together: a purpose, an algorithm of that purpose, rotation
// (ENCRYPT_DECRYPT keys only; a period of a day to 876,000 hours, which needs a next rotation time),
// labels, the destroy period, and importOnly only for a key made without a version. False with the 400.
bool CheckCryptoKey(const json_spirit::mObject& settings, bool withVersion, GoogleError& error);

}  // namespace gcemu
