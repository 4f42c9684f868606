// Times one move of the selected address in automatic save mode (the whole list rewritten in
// one transaction of the registry file) against one bare atomic replace of a file of the same
// size. Medians of several rounds; the goal is a move costing at most 1.5 times the replace.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "store/registry_file.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

namespace {

namespace fs = std::filesystem;
using tavelin::bench::BareReplace;
using tavelin::bench::Clock;
using tavelin::bench::Median;
using tavelin::bench::MillisecondsSince;
using tavelin::bench::ReadFile;

}  // namespace

int main(int argc, char** argv) {
  // On a disk, not a memory file system, or the flushes cost nothing.
  // Works in a folder of its own below the one given, so removing it afterwards is safe.
  const fs::path folder =
      (argc > 1 ? fs::path(argv[1]) : fs::current_path()) / "tavelin-bench-move-data";
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const int movesPerRound = argc > 3 ? std::atoi(argv[3]) : 41;
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path regFile = folder / "HKEY_CURRENT_USER.reg";
  const fs::path bare = folder / "bare.reg";

  tavelin::RegFileRegistry registry(regFile);
  tavelin::AddressList list;
  for (int i = 1; i <= 200; ++i) {
    list.append("https://www.example.org/some/typed/address/number/" + std::to_string(i) +
                "?q=tavelin");
  }
  tavelin::ProgramSettings settings;
  settings.SaveMode = "One";
  {
    tavelin::Transaction transaction(registry);
    tavelin::SaveAddresses(registry, list);
    tavelin::modReg::WriteRegString(registry, tavelin::kCurrentUser, tavelin::kSettingsKey,
                                    "SaveOptions", "One");
  }
  const std::string bytes = ReadFile(regFile);
  BareReplace(bare, bytes, true);
  const tavelin::ListContext context{registry, list, settings};
  list.select(100);

  std::printf("registry file: %zu bytes, 200 addresses, %d rounds of %d moves\n", bytes.size(),
              rounds, movesPerRound);
  std::vector<double> ratios, ratiosNoFolder, moveMedians, bareMedians, bareNoFolderMedians;
  for (int round = 0; round < rounds; ++round) {
    std::vector<double> moves, bares, baresNoFolder;
    for (int i = 0; i < movesPerRound; ++i) {
      // Interleaved, so that a slow spell of the disk hits all three alike.
      auto start = Clock::now();
      if (i % 2 == 0)
        tavelin::MoveSelectedDown(context);
      else
        tavelin::MoveSelectedUp(context);
      moves.push_back(MillisecondsSince(start));
      start = Clock::now();
      BareReplace(bare, bytes, true);
      bares.push_back(MillisecondsSince(start));
      start = Clock::now();
      BareReplace(bare, bytes, false);
      baresNoFolder.push_back(MillisecondsSince(start));
    }
    if (!registry.takeReports().empty()) {
      std::fprintf(stderr, "the store reported a failure\n");
      return 1;
    }
    const double move = Median(moves), bareMs = Median(bares), bareNoFolder = Median(baresNoFolder);
    moveMedians.push_back(move);
    bareMedians.push_back(bareMs);
    bareNoFolderMedians.push_back(bareNoFolder);
    ratios.push_back(move / bareMs);
    ratiosNoFolder.push_back(move / bareNoFolder);
    std::printf(
        "round %d: move %.3f ms, bare replace %.3f ms (%.3f ms without flushing the folder): "
        "%.2fx (%.2fx)\n",
        round + 1, move, bareMs, bareNoFolder, move / bareMs, move / bareNoFolder);
  }
  const double ratio = Median(ratios);
  std::printf(
      "median: move %.3f ms, bare replace %.3f ms (%.3f ms without flushing the folder)\n"
      "move / bare replace: %.2fx (%.2fx against the replace without the folder flush); "
      "goal at most 1.5x: %s\n",
      Median(moveMedians), Median(bareMedians), Median(bareNoFolderMedians), ratio,
      Median(ratiosNoFolder), ratio <= 1.5 ? "met" : "NOT met");
  fs::remove_all(folder);
  return 0;
}
