#pragma once
// The decoder process's confinement, entered before it reads any picture
// byte: whatever a hostile file makes of a codec, the process can then only
// read and map what it was handed, answer on its socket, make shared memory
// for frames, start threads and end.
#include <cstdint>
#include <string>

namespace pelumir {

// Called once every library is open and initialised (see OpenLibrariesNow):
// nothing can be opened afterwards. Sets no_new_privs, caps the address space
// at `memoryCapBytes` (0: no cap), then a system-call filter in every thread
// of the process under which all calls but the few the decoders need fail
// with EPERM, so a library probing for more gets an error, not a kill.
// Writing is allowed on `socketFd` and standard error only.
//
// Returns whether the filter is in place. `why` names each step that could
// not be taken (also the cap, when the filter holds); the others are still
// taken where they can be.
bool EnterSandbox(int socketFd, uint64_t memoryCapBytes, std::string& why);

}  // namespace pelumir
