// A world kept between runs of gcemu (--state-dir): what the APIs made and changed is saved when gcemu
// stops and loaded when it starts again, with the service account's key, so that an agent can be
// tested over many days of backups. A reset still goes back to the seed (the built-in world or --world).
#pragma once

#include <string>

#include "emulator/ClientFiles.h"

namespace gcemu {

class Emulator;

// <stateDir>/world-state.json
std::string WorldStateFile(const std::string& stateDir);

// Brings every operation and job still under way to its end (their effects land), then writes the
// world, readable by its owner only (it holds the objects' data). Call it with the server stopped.
// Throws std::runtime_error when the file cannot be written.
void SaveWorldState(Emulator& emulator, const std::string& path);

// Puts the saved world in place of the seeded one. False, and nothing changed, when there is no file;
// throws std::runtime_error when the file cannot be read or holds no saved world.
bool LoadWorldState(Emulator& emulator, const std::string& path);

// The account's key as an earlier run left it in the state folder, registered again; a new key (written
// there) when there is none. Clients that kept the key file go on signing in with it.
ServiceAccountKey KeepServiceAccount(Emulator& emulator, const std::string& email);

}  // namespace gcemu
