// A DNSAPI.DLL that loads but has no DnsQueryConfig: the wizard must treat
// it like a missing library. One export, so that the DLL has an export table.
extern "C" __declspec(dllexport) int DnsStubPresent() { return 1; }
