#include "sd/well_known_sids.h"

#include <string>
#include <unordered_map>

namespace vesk {
namespace platform {
namespace {

// English Windows spellings.
constexpr WellKnownSid kWellKnown[] = {
    {"S-1-0-0", "NULL SID", ""},
    {"S-1-1-0", "Everyone", ""},
    {"S-1-2-0", "LOCAL", ""},
    {"S-1-2-1", "CONSOLE LOGON", ""},
    {"S-1-3-0", "CREATOR OWNER", ""},
    {"S-1-3-1", "CREATOR GROUP", ""},
    {"S-1-3-4", "OWNER RIGHTS", ""},
    {"S-1-5-1", "DIALUP", "NT AUTHORITY"},
    {"S-1-5-2", "NETWORK", "NT AUTHORITY"},
    {"S-1-5-3", "BATCH", "NT AUTHORITY"},
    {"S-1-5-4", "INTERACTIVE", "NT AUTHORITY"},
    {"S-1-5-6", "SERVICE", "NT AUTHORITY"},
    {"S-1-5-7", "ANONYMOUS LOGON", "NT AUTHORITY"},
    {"S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS", "NT AUTHORITY"},
    {"S-1-5-10", "SELF", "NT AUTHORITY"},
    {"S-1-5-11", "Authenticated Users", "NT AUTHORITY"},
    {"S-1-5-12", "RESTRICTED", "NT AUTHORITY"},
    {"S-1-5-13", "TERMINAL SERVER USER", "NT AUTHORITY"},
    {"S-1-5-14", "REMOTE INTERACTIVE LOGON", "NT AUTHORITY"},
    {"S-1-5-15", "This Organization", "NT AUTHORITY"},
    {"S-1-5-18", "SYSTEM", "NT AUTHORITY"},
    {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY"},
    {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY"},
    {"S-1-5-64-10", "NTLM Authentication", "NT AUTHORITY"},
    {"S-1-5-113", "Local account", "NT AUTHORITY"},
    {"S-1-5-114", "Local account and member of Administrators group",
     "NT AUTHORITY"},
    {"S-1-5-32-544", "Administrators", "BUILTIN"},
    {"S-1-5-32-545", "Users", "BUILTIN"},
    {"S-1-5-32-546", "Guests", "BUILTIN"},
    {"S-1-5-32-547", "Power Users", "BUILTIN"},
    {"S-1-5-32-548", "Account Operators", "BUILTIN"},
    {"S-1-5-32-549", "Server Operators", "BUILTIN"},
    {"S-1-5-32-550", "Print Operators", "BUILTIN"},
    {"S-1-5-32-551", "Backup Operators", "BUILTIN"},
    {"S-1-5-32-552", "Replicator", "BUILTIN"},
    {"S-1-5-32-554", "Pre-Windows 2000 Compatible Access", "BUILTIN"},
    {"S-1-5-32-555", "Remote Desktop Users", "BUILTIN"},
    {"S-1-5-32-556", "Network Configuration Operators", "BUILTIN"},
    {"S-1-5-32-557", "Incoming Forest Trust Builders", "BUILTIN"},
    {"S-1-5-32-558", "Performance Monitor Users", "BUILTIN"},
    {"S-1-5-32-559", "Performance Log Users", "BUILTIN"},
    {"S-1-5-32-560", "Windows Authorization Access Group", "BUILTIN"},
    {"S-1-5-32-561", "Terminal Server License Servers", "BUILTIN"},
    {"S-1-5-32-562", "Distributed COM Users", "BUILTIN"},
    {"S-1-5-32-568", "IIS_IUSRS", "BUILTIN"},
    {"S-1-5-32-569", "Cryptographic Operators", "BUILTIN"},
    {"S-1-5-32-573", "Event Log Readers", "BUILTIN"},
    {"S-1-5-32-574", "Certificate Service DCOM Access", "BUILTIN"},
    {"S-1-5-32-575", "RDS Remote Access Servers", "BUILTIN"},
    {"S-1-5-32-576", "RDS Endpoint Servers", "BUILTIN"},
    {"S-1-5-32-577", "RDS Management Servers", "BUILTIN"},
    {"S-1-5-32-578", "Hyper-V Administrators", "BUILTIN"},
    {"S-1-5-32-579", "Access Control Assistance Operators", "BUILTIN"},
    {"S-1-5-32-580", "Remote Management Users", "BUILTIN"},
    {"S-1-5-80-0", "ALL SERVICES", "NT SERVICE"},
    {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
     "TrustedInstaller", "NT SERVICE"},
    {"S-1-15-2-1", "ALL APPLICATION PACKAGES", "APPLICATION PACKAGE AUTHORITY"},
    {"S-1-15-2-2", "ALL RESTRICTED APPLICATION PACKAGES",
     "APPLICATION PACKAGE AUTHORITY"},
};

}  // namespace

const WellKnownSid* findWellKnownSid(const std::string& sidText) {
  // Asked once per entry that is not named yet: a DACL of 2,000 distinct
  // identifiers asks 2,000 times, so the table is indexed once.
  static const std::unordered_map<std::string, const WellKnownSid*> index = [] {
    std::unordered_map<std::string, const WellKnownSid*> rows;
    for (const WellKnownSid& row : kWellKnown) rows.emplace(row.sid, &row);
    return rows;
  }();
  const auto found = index.find(sidText);
  return found == index.end() ? nullptr : found->second;
}

const WellKnownSid* wellKnownSids(size_t* count) {
  *count = sizeof kWellKnown / sizeof kWellKnown[0];
  return kWellKnown;
}

}  // namespace platform
}  // namespace vesk
