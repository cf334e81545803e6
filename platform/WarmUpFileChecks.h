#pragma once

// Checks the running program's own signature, for the side effect alone:
// the first trust check of a process sets up the crypto and certificate
// libraries (about a third of a second under Wine), which a
// download can pay while it waits on the network rather than after its last
// byte. Once a process; decides nothing and logs nothing.
void WarmUpFileChecks();
