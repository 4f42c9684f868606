// Long values stored as Windows stores them in hives of format 1.4 and later: a big-data
// record ("db") pointing at a list of segments, which hivex reads but cannot write.
#pragma once

#include <filesystem>
#include <string_view>

namespace tavelin::support {

// Moves the data of the value of that name (stored with a Latin-1 name, in one plain cell,
// longer than one segment holds) into a new bin as a big-data record, as Windows would have
// written it. False when there is no such value, or it is not long enough.
bool StoreAsBigData(const std::filesystem::path& hive, std::string_view valueName);

}  // namespace tavelin::support
