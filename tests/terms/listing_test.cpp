#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "temp_stream.h"
#include "terms/terms.h"

namespace vesk {
namespace {

const char kDefaultSections[] =
    "\n[Global Flags]\n<inherited>\n<not inherited>\nOwner:\n"
    "\n[Access Mode]\nA\nD\n"
    "\n[Standard Permissions]\nFC + \nRWX + \nRX + \nR + \nW + \n"
    "\n[Special Permissions]\nLRD + \nCWD + \nFAP + \nREA + \nWEA + \nEXC + \n"
    "DSF + \nRAT + \nWAT + \nSD + \nRC + \nWD + \nWO + \n"
    "\n[Generic Permissions]\nGA + \nGX + \nGW + \nGR + \n"
    "\n[Inheritance]\nNP\nOI\nCI\nCI+OI\nIO+OI\nIO+CI\nIO+CI+OI\nTC\n";

const char kReference[] =
    "\n~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\n\n"
    "GRANT_ACCESS\t0x00000001\nSET_ACCESS\t0x00000002\n"
    "DENY_ACCESS\t0x00000003\nREVOKE_ACCESS\t0x00000004\n"
    "\n"
    "STANDARD_RIGHTS_ALL\t0x001f0000\nGENERIC_ALL\t0x10000000\n"
    "GENERIC_EXECUTE\t0x20000000\nGENERIC_WRITE\t0x40000000\n"
    "GENERIC_READ\t0x80000000\n"
    "\n"
    "FILE_ALL_ACCESS\t0x001f01ff\nFILE_GENERIC_EXECUTE\t0x001200a0\n"
    "FILE_GENERIC_WRITE\t0x00120116\nFILE_GENERIC_READ\t0x00120089\n"
    "\n"
    "FILE_READ_DATA\t0x00000001\nFILE_WRITE_DATA\t0x00000002\n"
    "FILE_APPEND_DATA\t0x00000004\nFILE_READ_EA\t0x00000008\n"
    "FILE_WRITE_EA\t0x00000010\nFILE_EXECUTE\t0x00000020\n"
    "FILE_DELETE_CHILD\t0x00000040\nFILE_READ_ATTRIBUTES\t0x00000080\n"
    "FILE_WRITE_ATTRIBUTES\t0x00000100\n"
    "\n"
    "DELETE\t0x00010000\nREAD_CONTROL\t0x00020000\nWRITE_DAC\t0x00040000\n"
    "WRITE_OWNER\t0x00080000\n"
    "\n"
    "ERROR_SUCCESS\t0x00000000\n"
    "\n"
    "SE_OWNER_DEFAULTED\t0x00000001\nSE_GROUP_DEFAULTED\t0x00000002\n"
    "SE_DACL_PRESENT\t0x00000004\nSE_DACL_DEFAULTED\t0x00000008\n"
    "SE_DACL_AUTO_INHERITED\t0x00000400\nSE_DACL_PROTECTED\t0x00001000\n"
    "SE_SELF_RELATIVE\t0x00008000\n"
    "\n"
    "SE_OWNER_DEFAULTED\t1\nSE_GROUP_DEFAULTED\t2\nSE_DACL_PRESENT\t4\n"
    "SE_DACL_DEFAULTED\t8\nSE_DACL_AUTO_INHERITED\t1024\n"
    "SE_DACL_PROTECTED\t4096\nSE_SELF_RELATIVE\t32768\n";

std::string listing() {
  FILE* out = std::tmpfile();
  if (out == nullptr) {
    ADD_FAILURE() << "no temporary file";
    return "";
  }
  showTerms(out);
  const std::string text = vesk_test::contentsOf(out);
  std::fclose(out);
  return text;
}

TEST(TermsListingTest, DefaultsWithSeparators) {
  resetRun();
  appendSeparators();
  EXPECT_EQ(std::string(kTitle) + "\n\n" + kDefaultSections + kReference,
            listing());
}

TEST(TermsListingTest, ReplacedTermsInTheirPlaces) {
  resetRun();
  FILE* config = vesk_test::streamWith(
      "[Access Mode]\n00=Allow\n01=Deny\n[Global Flags]\n00=Inherited\n"
      "[Special Permissions]\n00=List folder\n[Inheritance]\n00=none\n");
  ASSERT_NE(nullptr, config);
  std::string badLine;
  EXPECT_TRUE(readTerms(config, &badLine));
  std::fclose(config);
  appendSeparators();

  const char sections[] =
      "\n[Global Flags]\nInherited\n<not inherited>\nOwner:\n"
      "\n[Access Mode]\nAllow\nDeny\n"
      "\n[Standard Permissions]\nFC + \nRWX + \nRX + \nR + \nW + \n"
      "\n[Special Permissions]\nList folder + \nCWD + \nFAP + \nREA + \n"
      "WEA + \nEXC + \nDSF + \nRAT + \nWAT + \nSD + \nRC + \nWD + \nWO + \n"
      "\n[Generic Permissions]\nGA + \nGX + \nGW + \nGR + \n"
      "\n[Inheritance]\nnone\nOI\nCI\nCI+OI\nIO+OI\nIO+CI\nIO+CI+OI\nTC\n";
  EXPECT_EQ(std::string(kTitle) + "\n\n" + sections + kReference, listing());
}

}  // namespace
}  // namespace vesk
