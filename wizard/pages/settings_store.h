// The product's key and the wizard's own settings below HKEY_LOCAL_MACHINE.
#pragma once

constexpr const char* kProductKey = "SOFTWARE\\Tarvik\\Vantor";

// True when the product's key opens with every right: the wizard writes its
// settings beside it, which a user without those rights could not do.
bool IsProductInstalled();
