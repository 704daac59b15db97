// A TCP port for a server that a test starts (the program's remote-control port): outside the
// kernel's range of ephemeral ports, so no outgoing connection of a parallel test can hold it
// between the choice and the listen, and free on every interface when chosen.
#pragma once

namespace mvx::test {

// 0 when none was found.
int FreeServerPort();

}  // namespace mvx::test
