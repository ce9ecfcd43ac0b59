#pragma once
// The toolkit asks for the session bus as it starts (accessibility, the
// desktop's menu bar). Without a bus the bus library would start a daemon
// of its own that outlives us; a bus that takes the connection and never
// answers would hold the window back for good. Both are settled first.

namespace pelumir {

// Leaves DBUS_SESSION_BUS_ADDRESS alone when the session bus answers within
// limitMs; otherwise sets it to an address that fails at once, so nothing
// in this process starts a bus or waits for one. Call before the toolkit
// starts.
void SettleSessionBus(int limitMs);

// Whether the bus at a unix socket answers the first words of a client
// within limitMs. The address is "unix:path=..." or "unix:abstract=...";
// other kinds are taken as answering (we have no quick way to ask them).
bool SessionBusAnswers(const char* address, int limitMs);

}  // namespace pelumir
