#include "sd/descriptor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/descriptor_builder.h"

namespace vesk {
namespace platform {
namespace {

using test::AceSpec;
using test::buildDescriptor;
using test::DescriptorSpec;
using test::sidBytes;

// The bytes in a heap block of exactly their size, so that AddressSanitizer
// reports any read past the end.
class HeapBytes {
 public:
  explicit HeapBytes(const std::vector<uint8_t>& bytes)
      : data_(new uint8_t[bytes.size()]), size_(bytes.size()) {
    if (size_ != 0) std::memcpy(data_.get(), bytes.data(), size_);
  }
  const uint8_t* data() const { return data_.get(); }
  size_t size() const { return size_; }
  bool holds(const void* p) const {
    const uint8_t* byte = static_cast<const uint8_t*>(p);
    return byte >= data_.get() && byte < data_.get() + size_;
  }
  void release() { data_.reset(); }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_;
};

uint32_t parse(const HeapBytes& bytes, DescriptorView* view) {
  return parseDescriptor(bytes.data(), bytes.size(), view);
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<uint32_t>(b[at + 3]) << 24);
}

void set16(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  (*b)[at] = v & 0xFF;
  (*b)[at + 1] = (v >> 8) & 0xFF;
}

void set32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  set16(b, at, v & 0xFFFF);
  set16(b, at + 2, v >> 16);
}

struct Entries {
  uint32_t count = 0;
  ExplicitAccess* list = nullptr;
  ~Entries() { std::free(list); }
};

std::string trusteeText(const ExplicitAccess& entry) {
  if (entry.trustee.sid == nullptr) return "(none)";
  return sidText(reinterpret_cast<const uint8_t*>(entry.trustee.sid));
}

TEST(DescriptorTest, ControlWordIsReportedAsStoredWithSelfRelative) {
  const uint16_t controls[] = {0x0004, 0x0000, 0x0001, 0x0002, 0x0008,
                               0x0014, 0x0024, 0x0404, 0x0804, 0x1004,
                               0x2004, 0x1404, 0x3C3F};
  for (uint16_t control : controls) {
    SCOPED_TRACE(control);
    DescriptorSpec spec;
    spec.control = control;
    spec.owner = "S-1-5-32-544";
    spec.aces = {{test::kAllowed, 0, 0x1F01FF, "S-1-1-0"}};
    HeapBytes bytes(buildDescriptor(spec));
    DescriptorView view;
    ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
    EXPECT_EQ(view.control, control | kSeSelfRelative);
    bool present = (control & kSeDaclPresent) != 0;
    EXPECT_EQ(view.daclPresent, present);
    EXPECT_EQ(view.dacl != nullptr, present);
  }
}

TEST(DescriptorTest, PartsAreFoundByOffsetAcrossAGap) {
  const size_t gaps[] = {0, 4, 4096};
  for (size_t gap : gaps) {
    SCOPED_TRACE(gap);
    DescriptorSpec spec;
    spec.owner = "S-1-5-32-544";
    spec.group = "S-1-5-18";
    spec.gap = gap;
    spec.aces = {{test::kAllowed, 0x03, 0x1F01FF, "S-1-5-11"}};
    HeapBytes bytes(buildDescriptor(spec));
    DescriptorView view;
    ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
    ASSERT_NE(view.owner, nullptr);
    ASSERT_NE(view.group, nullptr);
    EXPECT_EQ(sidText(view.owner), "S-1-5-32-544");
    EXPECT_EQ(sidText(view.group), "S-1-5-18");
    EXPECT_EQ(view.owner - bytes.data(), static_cast<ptrdiff_t>(20 + gap));
    Entries entries;
    ASSERT_EQ(buildExplicitEntries(view.dacl, &entries.count, &entries.list),
              kErrorSuccess);
    ASSERT_EQ(entries.count, 1u);
    EXPECT_EQ(trusteeText(entries.list[0]), "S-1-5-11");
  }
}

TEST(DescriptorTest, ExtentEndsWithTheFurthestPart) {
  DescriptorSpec spec;
  spec.owner = "S-1-5-32-544";
  spec.group = "S-1-5-18";
  spec.gap = 12;
  spec.aces = {{test::kAllowed, 0, 0x1F01FF, "S-1-5-11"}};
  const std::vector<uint8_t> whole = buildDescriptor(spec);
  std::vector<uint8_t> padded = whole;
  padded.resize(whole.size() + 16);  // as a store pads its entries
  EXPECT_EQ(descriptorExtent(padded.data(), padded.size()), whole.size());
  // Bytes cut short: the extent never passes their end, and the reader
  // refuses what is left.
  for (size_t cut : {whole.size() - 1, size_t{21}, size_t{20}, size_t{3}}) {
    SCOPED_TRACE(cut);
    HeapBytes bytes(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
    EXPECT_LE(descriptorExtent(bytes.data(), bytes.size()), cut);
    DescriptorView view;
    EXPECT_EQ(parse(bytes, &view), kErrorInvalidSecurityDescr);
  }
  // Without SE_DACL_PRESENT the DACL's bytes do not count.
  spec.control = 0;
  const std::vector<uint8_t> noDacl = buildDescriptor(spec);
  EXPECT_LT(descriptorExtent(noDacl.data(), noDacl.size()), noDacl.size());
}

TEST(DescriptorTest, MissingOwnerAndGroupAreNull) {
  DescriptorSpec spec;
  HeapBytes bytes(buildDescriptor(spec));
  DescriptorView view;
  ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
  EXPECT_EQ(view.owner, nullptr);
  EXPECT_EQ(view.group, nullptr);
}

// A NULL or empty DACL: success, a count of 0 and no block.
void expectNoEntries(const uint8_t* dacl) {
  Entries entries;
  entries.count = 7;
  EXPECT_EQ(buildExplicitEntries(dacl, &entries.count, &entries.list),
            kErrorSuccess);
  EXPECT_EQ(entries.count, 0u);
  EXPECT_EQ(entries.list, nullptr);
}

TEST(DescriptorTest, NullDaclIsPresentWithoutAcl) {
  DescriptorSpec spec;
  spec.owner = "S-1-5-18";
  spec.storeDacl = false;
  HeapBytes bytes(buildDescriptor(spec));
  DescriptorView view;
  ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
  EXPECT_TRUE(view.daclPresent);
  EXPECT_EQ(view.dacl, nullptr);
  expectNoEntries(view.dacl);
}

TEST(DescriptorTest, EmptyAclGivesNoEntries) {
  DescriptorSpec spec;
  HeapBytes bytes(buildDescriptor(spec));
  DescriptorView view;
  ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
  ASSERT_NE(view.dacl, nullptr);
  expectNoEntries(view.dacl);
}

TEST(DescriptorTest, EachAceTypeGivesItsModeAndSid) {
  struct Case {
    uint8_t type;
    uint32_t objectFlags;
    uint32_t mode;
  };
  const Case cases[] = {
      {test::kAllowed, 0, kGrantAccess},
      {test::kDenied, 0, kDenyAccess},
      {test::kAudit, 0, kNotUsedAccess},
      {0x03, 0, kNotUsedAccess},  // alarm
      {test::kAllowedObject, 0, kGrantAccess},
      {test::kAllowedObject, 1, kGrantAccess},
      {test::kAllowedObject, 2, kGrantAccess},
      {test::kAllowedObject, 3, kGrantAccess},
      {test::kDeniedObject, 3, kDenyAccess},
      {0x07, 1, kNotUsedAccess},  // audit object
      {test::kAllowedCallback, 0, kGrantAccess},
      {test::kDeniedCallback, 0, kDenyAccess},
      {test::kAllowedCallbackObject, 2, kGrantAccess},
      {test::kDeniedCallbackObject, 1, kDenyAccess},
      {0x11, 0, kNotUsedAccess},  // mandatory label
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << int(c.type) << " flags " << c.objectFlags);
    DescriptorSpec spec;
    // A plain ACE after it shows the first one's size was honoured.
    spec.aces = {
        {c.type, 0x02, 0x00120089, "S-1-5-21-7-8-9-1001", c.objectFlags},
        {test::kAllowed, 0, 0x1F01FF, "S-1-5-18"}};
    HeapBytes bytes(buildDescriptor(spec));
    DescriptorView view;
    ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
    Entries entries;
    ASSERT_EQ(buildExplicitEntries(view.dacl, &entries.count, &entries.list),
              kErrorSuccess);
    ASSERT_EQ(entries.count, 2u);
    EXPECT_EQ(entries.list[0].accessMode, c.mode);
    EXPECT_EQ(entries.list[0].accessPermissions, 0x00120089u);
    EXPECT_EQ(entries.list[0].inheritance, 0x02u);
    EXPECT_EQ(entries.list[0].trustee.form, TrusteeForm::Sid);
    EXPECT_EQ(entries.list[0].trustee.name, nullptr);
    EXPECT_FALSE(bytes.holds(entries.list[0].trustee.sid));
    // The SIDs are copies: they outlive the descriptor.
    bytes.release();
    EXPECT_EQ(trusteeText(entries.list[0]), "S-1-5-21-7-8-9-1001");
    EXPECT_EQ(entries.list[1].accessMode, kGrantAccess);
    EXPECT_EQ(trusteeText(entries.list[1]), "S-1-5-18");
  }
}

TEST(DescriptorTest, AceOfUnknownTypeHasNoTrusteeAndIsSkippedBySize) {
  DescriptorSpec spec;
  spec.aces = {{0x20, 0, 0xABCD, "S-1-1-0"},
               {test::kDenied, 0, 0x10000, "S-1-5-32-545"}};
  HeapBytes bytes(buildDescriptor(spec));
  DescriptorView view;
  ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
  Entries entries;
  ASSERT_EQ(buildExplicitEntries(view.dacl, &entries.count, &entries.list),
            kErrorSuccess);
  ASSERT_EQ(entries.count, 2u);
  EXPECT_EQ(entries.list[0].accessMode, kNotUsedAccess);
  EXPECT_EQ(entries.list[0].trustee.sid, nullptr);
  EXPECT_EQ(entries.list[1].accessMode, kDenyAccess);
  EXPECT_EQ(trusteeText(entries.list[1]), "S-1-5-32-545");
}

TEST(DescriptorTest, InheritanceKeepsTheLowFiveFlagBits) {
  const std::pair<uint8_t, uint32_t> cases[] = {
      {0x00, 0x00}, {0x03, 0x03}, {0x0B, 0x0B}, {0x10, 0x10},
      {0x13, 0x13}, {0x40, 0x00}, {0xD3, 0x13}, {0xFF, 0x1F}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.first));
    DescriptorSpec spec;
    spec.aces = {{test::kAllowed, c.first, 1, "S-1-1-0"}};
    HeapBytes bytes(buildDescriptor(spec));
    DescriptorView view;
    ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
    Entries entries;
    ASSERT_EQ(buildExplicitEntries(view.dacl, &entries.count, &entries.list),
              kErrorSuccess);
    ASSERT_EQ(entries.count, 1u);
    EXPECT_EQ(entries.list[0].inheritance, c.second);
  }
}

TEST(DescriptorTest, EntriesKeepAclOrderWithoutMerging) {
  DescriptorSpec spec;
  spec.aces = {{test::kAllowed, 0, 0x1, "S-1-1-0"},
               {test::kDenied, 0, 0x2, "S-1-5-18"},
               {test::kAllowed, 0, 0x4, "S-1-1-0"},
               {test::kAllowed, 0, 0x1, "S-1-1-0"}};
  HeapBytes bytes(buildDescriptor(spec));
  DescriptorView view;
  ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
  Entries entries;
  ASSERT_EQ(buildExplicitEntries(view.dacl, &entries.count, &entries.list),
            kErrorSuccess);
  ASSERT_EQ(entries.count, spec.aces.size());
  for (size_t i = 0; i < spec.aces.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries.list[i].accessPermissions, spec.aces[i].mask);
    EXPECT_EQ(trusteeText(entries.list[i]), spec.aces[i].sid);
  }
}

TEST(DescriptorTest, SidTextMatchesWindowsForm) {
  const char* cases[][2] = {
      {"S-1-0-0", "S-1-0-0"},
      {"S-1-5-32-544", "S-1-5-32-544"},
      {"S-1-5-21-4294967295-1-2-500", "S-1-5-21-4294967295-1-2-500"},
      {"S-1-4294967295-1", "S-1-4294967295-1"},
      {"S-1-4294967296-1", "S-1-0x000100000000-1"},
      {"S-1-281474976710655", "S-1-0xFFFFFFFFFFFF"},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15",
       "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    std::vector<uint8_t> sid = sidBytes(c[0]);
    HeapBytes bytes(sid);
    EXPECT_EQ(sidText(bytes.data()), c[1]);
    EXPECT_EQ(sidLength(bytes.data()), sid.size());
  }
}

TEST(DescriptorTest, NameTrusteeHoldsItsOwnCopy) {
  const std::string names[] = {"", "Administrators", std::string(1000, 'x')};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.size());
    std::string source = name;
    Trustee* trustee = makeNameTrustee(source);
    ASSERT_NE(trustee, nullptr);
    source.assign(source.size(), '?');
    EXPECT_EQ(trustee->form, TrusteeForm::Name);
    EXPECT_EQ(trustee->sid, nullptr);
    EXPECT_EQ(std::string(trustee->name), name);
    std::free(trustee);
  }
}

// owner S-1-5-32-544, group S-1-5-18, DACL: allowed Everyone, then an
// allowed-object ACE with both GUIDs.
std::vector<uint8_t> goodDescriptor() {
  DescriptorSpec spec;
  spec.owner = "S-1-5-32-544";
  spec.group = "S-1-5-18";
  spec.aces = {{test::kAllowed, 0, 0x1F01FF, "S-1-1-0"},
               {test::kAllowedObject, 0, 0x10, "S-1-5-32-545", 3}};
  return buildDescriptor(spec);
}

size_t ownerAt(const std::vector<uint8_t>& b) { return get32(b, 4); }
size_t daclAt(const std::vector<uint8_t>& b) { return get32(b, 16); }
size_t firstAceAt(const std::vector<uint8_t>& b) { return daclAt(b) + 8; }
size_t secondAceAt(const std::vector<uint8_t>& b) {
  return firstAceAt(b) + 20;  // header, mask, S-1-1-0
}

TEST(DescriptorTest, GoodDescriptorOfTheCorruptionTableParses) {
  std::vector<uint8_t> good = goodDescriptor();
  HeapBytes bytes(good);
  DescriptorView view;
  ASSERT_EQ(parse(bytes, &view), kErrorSuccess);
  EXPECT_EQ(view.dacl, bytes.data() + daclAt(good));
  EXPECT_EQ(get32(good, firstAceAt(good)) >> 16, 20u);  // the assumed size
}

// Parses a good descriptor after mutate has changed it, from an exactly
// sized heap buffer so that any read past its end is caught.
using Mutation = std::function<void(std::vector<uint8_t>*)>;
struct MutationCase {
  const char* what;
  Mutation mutate;
};

uint32_t parseMutated(const Mutation& mutate) {
  std::vector<uint8_t> bytes = goodDescriptor();
  mutate(&bytes);
  HeapBytes heap(bytes);
  DescriptorView view;
  return parse(heap, &view);
}

TEST(DescriptorTest, CorruptDescriptorsAreRejected) {
  const MutationCase cases[] = {
      {"empty", [](auto* b) { b->clear(); }},
      {"revision 0", [](auto* b) { (*b)[0] = 0; }},
      {"revision 2", [](auto* b) { (*b)[0] = 2; }},
      {"owner offset at the end",
       [](auto* b) { set32(b, 4, static_cast<uint32_t>(b->size())); }},
      {"owner offset far past the end",
       [](auto* b) { set32(b, 4, 0xFFFFFFF0u); }},
      {"owner SID header cut by the end",
       [](auto* b) { set32(b, 4, static_cast<uint32_t>(b->size() - 4)); }},
      {"owner offset inside the header", [](auto* b) { set32(b, 4, 4); }},
      {"owner SID well formed but inside the header",
       [](auto* b) {
         set32(b, 12, 0x0101);  // revision 1, one sub-authority
         set32(b, 4, 12);
       }},
      {"group offset past the end", [](auto* b) { set32(b, 8, 0xFFFFFFFFu); }},
      {"DACL offset past the end",
       [](auto* b) { set32(b, 16, static_cast<uint32_t>(b->size() + 8)); }},
      {"DACL header cut by the end",
       [](auto* b) { set32(b, 16, static_cast<uint32_t>(b->size() - 6)); }},
      {"owner SID revision 2", [](auto* b) { (*b)[ownerAt(*b)] = 2; }},
      {"owner SID with 16 sub-authorities",
       [](auto* b) { (*b)[ownerAt(*b) + 1] = 16; }},
      {"owner SID sub-authorities cut by the end",
       [](auto* b) {
         size_t at = b->size() - 8;
         set32(b, 4, static_cast<uint32_t>(at));
         (*b)[at] = 1;
         (*b)[at + 1] = 1;
       }},
      {"ACL revision 1", [](auto* b) { (*b)[daclAt(*b)] = 1; }},
      {"ACL revision 5", [](auto* b) { (*b)[daclAt(*b)] = 5; }},
      {"ACL size past the buffer",
       [](auto* b) {
         set16(b, daclAt(*b) + 2,
               static_cast<uint32_t>(b->size() - daclAt(*b) + 1));
       }},
      {"ACL size below its header",
       [](auto* b) { set16(b, daclAt(*b) + 2, 4); }},
      {"ACE count larger than the ACL",
       [](auto* b) { set16(b, daclAt(*b) + 4, 3); }},
      {"ACE count far larger than the ACL",
       [](auto* b) { set16(b, daclAt(*b) + 4, 0xFFFF); }},
      {"zero-size ACE", [](auto* b) { set16(b, firstAceAt(*b) + 2, 0); }},
      {"ACE smaller than its header",
       [](auto* b) { set16(b, firstAceAt(*b) + 2, 2); }},
      {"allowed ACE without room for its SID",
       [](auto* b) { set16(b, firstAceAt(*b) + 2, 8); }},
      {"ACE past the end of the ACL",
       [](auto* b) { set16(b, firstAceAt(*b) + 2, 0xFFF0); }},
      {"last ACE running past the end of the ACL",
       [](auto* b) { set16(b, secondAceAt(*b) + 2, 64); }},
      {"ACE SID revision 0", [](auto* b) { (*b)[firstAceAt(*b) + 8] = 0; }},
      {"ACE SID with 16 sub-authorities",
       [](auto* b) { (*b)[firstAceAt(*b) + 9] = 16; }},
      {"ACE SID longer than its ACE",
       [](auto* b) { (*b)[firstAceAt(*b) + 9] = 2; }},
      {"object ACE too short for its flags word",
       [](auto* b) {
         set16(b, secondAceAt(*b) + 2, 10);
         b->resize(secondAceAt(*b) + 10);
         set16(b, daclAt(*b) + 2,
               static_cast<uint32_t>(b->size() - daclAt(*b)));
       }},
      {"object ACE whose GUIDs leave no room for the SID",
       [](auto* b) {
         set16(b, secondAceAt(*b) + 2, 44);
         b->resize(secondAceAt(*b) + 44);
         set16(b, daclAt(*b) + 2,
               static_cast<uint32_t>(b->size() - daclAt(*b)));
       }},
      {"object ACE shorter than the GUIDs its flags name",
       [](auto* b) { set16(b, secondAceAt(*b) + 2, 20); }},
      {"object ACE without GUIDs reads SID from GUID bytes",
       [](auto* b) { (*b)[secondAceAt(*b) + 8] = 0; }},
  };
  for (const MutationCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(parseMutated(c.mutate), kErrorInvalidSecurityDescr);
  }
}

TEST(DescriptorTest, EveryTruncationIsRejected) {
  std::vector<uint8_t> good = goodDescriptor();
  for (size_t size = 0; size < good.size(); ++size) {
    SCOPED_TRACE(size);
    HeapBytes bytes(std::vector<uint8_t>(good.begin(), good.begin() + size));
    DescriptorView view;
    EXPECT_EQ(parse(bytes, &view), kErrorInvalidSecurityDescr);
  }
}

TEST(DescriptorTest, UnusualButValidLayoutsAreAccepted) {
  const MutationCase cases[] = {
      {"ACL revision 4", [](auto* b) { (*b)[daclAt(*b)] = 4; }},
      {"free space after the last ACE",
       [](auto* b) {
         b->resize(b->size() + 12, 0);
         set16(b, daclAt(*b) + 2,
               static_cast<uint32_t>(b->size() - daclAt(*b)));
       }},
      {"fewer ACEs counted than stored",
       [](auto* b) { set16(b, daclAt(*b) + 4, 1); }},
      {"DACL offset ignored when not present",
       [](auto* b) {
         (*b)[2] &= ~kSeDaclPresent;
         set32(b, 16, 0xFFFFFFFFu);
       }},
      {"SACL offset ignored", [](auto* b) { set32(b, 12, 0xFFFFFFFFu); }},
  };
  for (const MutationCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(parseMutated(c.mutate), kErrorSuccess);
  }
}

TEST(DescriptorTest, SubAuthorityLimitIsFifteen) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"S-1-5", kErrorSuccess},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", kErrorSuccess},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16",
       kErrorInvalidSecurityDescr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    for (bool inOwner : {true, false}) {
      SCOPED_TRACE(inOwner ? "owner" : "ACE");
      DescriptorSpec spec;
      spec.owner = inOwner ? c.first : "S-1-5-18";
      spec.aces = {{test::kAllowed, 0, 1, inOwner ? "S-1-5-18" : c.first}};
      HeapBytes bytes(buildDescriptor(spec));
      DescriptorView view;
      EXPECT_EQ(parse(bytes, &view), c.second);
    }
  }
}

}  // namespace
}  // namespace platform
}  // namespace vesk
