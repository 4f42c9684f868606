#include "browse/browser_launcher.h"

namespace tavelin {

namespace {
class PendingLauncher : public BrowserLauncher {
 public:
  LaunchOutcome open(const std::string&, std::string_view) override {
    return {false, "Opening addresses is not built yet."};
  }
};
}  // namespace

std::unique_ptr<BrowserLauncher> CreateSystemBrowserLauncher() {
  return std::make_unique<PendingLauncher>();
}

}  // namespace tavelin
