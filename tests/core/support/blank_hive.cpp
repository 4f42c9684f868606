#include "support/blank_hive.h"

#include <vector>

namespace tavelin::support {

namespace {

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinSize = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
// 2026-01-01 00:00:00 UTC in 100 ns steps since 1601: every blank hive is the same bytes.
constexpr std::uint64_t kTimestamp = 134114976000000000ull;

class Bytes {
 public:
  void u8(std::uint8_t v) { data_.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  void text(const char* ascii) {
    while (*ascii) u8(static_cast<std::uint8_t>(*ascii++));
  }
  void padTo(std::size_t size) { data_.resize(size, '\0'); }
  std::size_t size() const { return data_.size(); }
  void append(const Bytes& other) { data_ += other.data_; }
  std::string& str() { return data_; }

 private:
  std::string data_;
};

// A security identifier: revision 1, the NT authority (5) or the world authority (1).
void Sid(Bytes& out, std::uint8_t authority, std::vector<std::uint32_t> subAuthorities) {
  out.u8(1);
  out.u8(static_cast<std::uint8_t>(subAuthorities.size()));
  for (int i = 0; i < 5; ++i) out.u8(0);
  out.u8(authority);
  for (std::uint32_t sub : subAuthorities) out.u32(sub);
}

// A self-relative descriptor: owned by Administrators, group SYSTEM; SYSTEM and
// Administrators have full control, everyone may read, all of it inherited by subkeys.
Bytes SecurityDescriptor() {
  Bytes owner, group, acl, aces;
  Sid(owner, 5, {32, 544});
  Sid(group, 5, {18});
  const auto ace = [&](std::uint32_t mask, std::uint8_t authority,
                       std::vector<std::uint32_t> subs) {
    Bytes sid;
    Sid(sid, authority, std::move(subs));
    aces.u8(0);     // ACCESS_ALLOWED_ACE_TYPE
    aces.u8(0x02);  // CONTAINER_INHERIT_ACE
    aces.u16(static_cast<std::uint16_t>(8 + sid.size()));
    aces.u32(mask);
    aces.append(sid);
  };
  ace(0x000F003F, 5, {18});       // KEY_ALL_ACCESS
  ace(0x000F003F, 5, {32, 544});  // KEY_ALL_ACCESS
  ace(0x00020019, 1, {0});        // KEY_READ
  acl.u8(2);                      // ACL_REVISION
  acl.u8(0);
  acl.u16(static_cast<std::uint16_t>(8 + aces.size()));
  acl.u16(3);
  acl.u16(0);
  acl.append(aces);

  Bytes sd;
  const std::uint32_t header = 20;
  sd.u8(1);  // revision
  sd.u8(0);
  sd.u16(0x8004);                                           // SE_SELF_RELATIVE | SE_DACL_PRESENT
  sd.u32(header + static_cast<std::uint32_t>(acl.size()));  // owner
  sd.u32(header + static_cast<std::uint32_t>(acl.size() + owner.size()));  // group
  sd.u32(0);                                                               // no SACL
  sd.u32(header);                                                          // DACL
  sd.append(acl);
  sd.append(owner);
  sd.append(group);
  return sd;
}

std::size_t CellSize(std::size_t payload) {
  return (4 + payload + 7) / 8 * 8;
}

}  // namespace

std::uint32_t HiveHeaderChecksum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 4 <= 0x1FC && i + 4 <= bytes.size(); i += 4) {
    sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 24;
  }
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  if (sum == 0) return 1;
  return sum;
}

void MendHiveHeaderChecksum(std::string& bytes) {
  const std::uint32_t sum = HiveHeaderChecksum(bytes);
  for (int i = 0; i < 4; ++i) bytes[0x1FC + i] = static_cast<char>(sum >> (8 * i));
}

std::string BlankHiveBytes(std::uint32_t minorVersion) {
  const char* const rootName = "ROOT";
  const std::uint32_t rootNameLength = 4;
  const std::uint32_t rootCell = kBinHeaderSize;
  const std::size_t rootSize = CellSize(76 + rootNameLength);
  const Bytes descriptor = SecurityDescriptor();
  const auto securityCell = static_cast<std::uint32_t>(rootCell + rootSize);
  const std::size_t securitySize = CellSize(20 + descriptor.size());
  const auto freeCell = static_cast<std::uint32_t>(securityCell + securitySize);

  Bytes bin;
  bin.text("hbin");
  bin.u32(0);  // this bin's offset from the first
  bin.u32(kBinSize);
  bin.u64(0);
  bin.u64(kTimestamp);
  bin.u32(0);

  // The root key: a hive entry that cannot be deleted, its name stored as Latin-1.
  bin.u32(static_cast<std::uint32_t>(-static_cast<std::int32_t>(rootSize)));
  bin.text("nk");
  bin.u16(0x002C);
  bin.u64(kTimestamp);
  bin.u32(0);                              // access bits
  bin.u32(0);                              // parent: none
  bin.u32(0);                              // subkeys
  bin.u32(0);                              // volatile subkeys
  bin.u32(kNoCell);                        // subkey list
  bin.u32(kNoCell);                        // volatile subkey list
  bin.u32(0);                              // values
  bin.u32(kNoCell);                        // value list
  bin.u32(securityCell);                   // security
  bin.u32(kNoCell);                        // class name
  for (int i = 0; i < 5; ++i) bin.u32(0);  // largest names and data; work variable
  bin.u16(static_cast<std::uint16_t>(rootNameLength));
  bin.u16(0);  // class name length
  bin.text(rootName);
  bin.padTo(rootCell + rootSize);

  // The root's security, the only one, so its list of security cells is itself.
  bin.u32(static_cast<std::uint32_t>(-static_cast<std::int32_t>(securitySize)));
  bin.text("sk");
  bin.u16(0);
  bin.u32(securityCell);  // next
  bin.u32(securityCell);  // previous
  bin.u32(1);             // keys using it
  bin.u32(static_cast<std::uint32_t>(descriptor.size()));
  bin.append(descriptor);
  bin.padTo(freeCell);

  // The rest of the bin is one free cell.
  bin.u32(static_cast<std::uint32_t>(kBinSize - freeCell));
  bin.padTo(kBinSize);

  Bytes base;
  base.text("regf");
  base.u32(1);  // primary sequence number
  base.u32(1);  // secondary: equal, so no log holds changes
  base.u64(kTimestamp);
  base.u32(1);  // major version
  base.u32(minorVersion);
  base.u32(0);  // a primary file
  base.u32(1);  // loaded directly into memory
  base.u32(rootCell);
  base.u32(kBinSize);  // the bins' total size
  base.u32(1);         // clustering factor
  base.padTo(kBaseBlockSize);
  std::string& bytes = base.str();
  MendHiveHeaderChecksum(bytes);
  bytes += bin.str();
  return bytes;
}

}  // namespace tavelin::support
