#include "list/store_notices.h"

namespace tavelin {

std::string NoticeText(const StoreReport& report) {
  using Kind = StoreReport::Kind;
  // A store written one call at a time may hold part of a command's changes after a failure.
  const std::string saved =
      report.allOrNothing ? "Nothing was saved. " : "Not everything was saved. ";
  switch (report.kind) {
    case Kind::kReadFailed:
      if (report.load == LoadKind::kStartup) {
        return report.reason + " Nothing will be saved until \"Reload URLs\" (F5) reads it.";
      }
      return report.writeAttempted ? "Nothing was saved. " + report.reason : report.reason;
    case Kind::kWriteRefused:
      return "Nothing was saved to " + report.store +
             ": it could not be read when the list was loaded. Press F5 (\"Reload URLs\") to "
             "read it again; that replaces the list with what is stored.";
    case Kind::kWriteFailed:
      return saved + report.reason;
    case Kind::kNote:
      return report.reason;
    case Kind::kBackupFailed:
      return saved + "No backup of what was stored could be made, so nothing was changed: " +
             report.reason + ".";
  }
  return report.reason;
}

std::vector<std::string> TakeStoreNotices(RegistryBackend& backend) {
  std::vector<std::string> notices;
  for (const StoreReport& report : backend.takeReports()) notices.push_back(NoticeText(report));
  return notices;
}

}  // namespace tavelin
