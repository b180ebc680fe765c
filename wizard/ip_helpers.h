// The IP helper and DNS libraries, loaded at run time so that the wizard
// still starts (and detects through the interface list) where either is
// missing.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <windns.h>

using GetAdaptersInfoFunction = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
using DnsQueryConfigFunction = DNS_STATUS(WINAPI*)(DNS_CONFIG_TYPE, DWORD, PCWSTR, PVOID, PVOID,
                                                   PDWORD);

// 1 when both libraries and both functions were found; fixed before the
// sheet is created, read by the detection thread.
extern int ipHelperAvailable;
extern GetAdaptersInfoFunction getAdaptersInfo;
extern DnsQueryConfigFunction dnsQueryConfig;

// 1 when both were loaded; a library that loads without its function counts
// as missing, and nothing stays loaded then.
int LoadIpHelpers();
// Frees whichever library is loaded, once.
void FreeIpHelpers();
