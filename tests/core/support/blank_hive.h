// A new, empty Windows registry hive, made by hand because hivex can only open one.
//
// The bytes follow the published layout of the binary format: a 4096-byte base block (its
// sequence numbers equal, its checksum set), then one 4096-byte bin holding the root key, the
// root's security cell and one free cell for the rest of the bin.
#pragma once

#include <cstdint>
#include <string>

namespace tavelin::support {

// `minorVersion` is the format's (1.x): Windows XP writes 1.3, Windows 8.1 and 10 write 1.5.
std::string BlankHiveBytes(std::uint32_t minorVersion = 5);

// The base block's checksum: the 127 little-endian words before it, XORed together (with 0
// and 0xFFFFFFFF, which mean "not set", moved aside as Windows does).
std::uint32_t HiveHeaderChecksum(const std::string& bytes);
// Writes that checksum into the base block (which `bytes` must hold whole).
void MendHiveHeaderChecksum(std::string& bytes);

}  // namespace tavelin::support
