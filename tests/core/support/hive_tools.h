// Windows hives for the tests (POSIX): blank ones of our own, grown through hivex itself
// rather than through the program's backend, and hivex's own tools as the peer that reads
// them back.
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/registry.h"

namespace tavelin::support {

// Writes a blank hive (blank_hive.h) there and gives the path back.
std::filesystem::path WriteBlankHive(const std::filesystem::path& path);

struct HiveValue {
  std::string name;
  RegValue value;
};

// Adds the key (with its missing parents) and sets these values in it, through hivex, and
// commits the hive in place. False when hivex refuses.
bool AddToHive(const std::filesystem::path& hive, std::string_view keyPath,
               const std::vector<HiveValue>& values);

// A REG_SZ value as Windows stores it: UTF-16LE with its terminator.
HiveValue StringValue(std::string_view name, std::u16string_view text);

// The command's standard output (the shell runs it, its errors go nowhere), or nothing when
// it fails.
std::optional<std::string> CommandOutput(const std::string& command);

// Whether hivexregedit and hivexsh are installed.
bool HiveToolsPresent();

// The whole hive as `hivexregedit --export` writes it, below HKEY_CURRENT_USER; nothing when
// the tool fails.
std::optional<std::string> ExportHive(const std::filesystem::path& hive);

// Whether hivexsh opens the hive and lists its root.
bool OpensInHivexsh(const std::filesystem::path& hive);

// The shared real hives (../shared/hives/NAME from the source tree), when that folder is
// there; a fresh clone has none.
std::optional<std::filesystem::path> SharedHive(std::string_view name);

// Every key of a hive as hivex reads it: the path of stored names below the root (joined by
// backslashes, the root itself ""), and the key's values in their stored order, each with
// its name, type and bytes. Nothing when hivex cannot open the hive or read all of it.
using HiveContents = std::map<std::string, std::vector<HiveValue>>;
std::optional<HiveContents> ReadHiveContents(const std::filesystem::path& hive);

// The first difference between two hives' contents, for a failure message; empty when they
// are the same.
std::string FirstDifference(const HiveContents& expected, const HiveContents& actual);

// Whether the hive's base block is clean: sequence numbers equal, checksum right.
bool HiveHeaderIsClean(const std::filesystem::path& hive);

// Whether libregf's regfinfo and regfexport are installed (Debian: libregf-utils).
bool RegfToolsPresent();

// The number of keys regfexport walks in the hive (its root included), when regfinfo opens it
// and regfexport goes through it without an error; nothing otherwise.
std::optional<std::size_t> RegfExportKeyCount(const std::filesystem::path& hive);

}  // namespace tavelin::support

#endif  // _WIN32
