#include "app/mainn.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "browse/address.h"
#include "dialogs/address_dialog.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_settings.h"
#include "files/list_file.h"
#include "list/list_store.h"
#include "store/registry_names.h"
#include "ui/joined_text.h"
#include "ui/version.h"

namespace tavelin {

namespace {

constexpr std::array kControls{
    ControlLayout{.name = "List1",
                  .kind = ControlKind::kListBox,
                  .rect = {0, 0, 7935, 3435},
                  .tabIndex = 0,
                  .select = &Call<&Mainn::List1_Click>,
                  .dblClick = &Call<&Mainn::List1_DblClick>,
                  .keyDown = &Call<&Mainn::List1_KeyDown>,
                  .mouseDown = &Call<&Mainn::List1_MouseDown>,
                  .contextMenuKey = &Call<&Mainn::List1_ContextMenuKey>,
                  .typeAhead = &Call<&Mainn::List1_TypeAhead>},
    ControlLayout{.name = "Command1",
                  .kind = ControlKind::kPushButton,
                  .text = "Save all changes",
                  .rect = {120, 3480, 2295, 375},
                  .tabIndex = 1,
                  .click = &Call<&Mainn::Command1_Click>},
    ControlLayout{.name = "Command2",
                  .kind = ControlKind::kPictureButton,
                  .rect = {4200, 3480, 375, 375},
                  .tabIndex = 2,
                  .picture = "arrow-up",
                  .accessibleName = "Move the selected address up",
                  .click = &Call<&Mainn::Command2_Click>},
    ControlLayout{.name = "Command3",
                  .kind = ControlKind::kPictureButton,
                  .rect = {3720, 3480, 375, 375},
                  .tabIndex = 3,
                  .picture = "arrow-down",
                  .accessibleName = "Move the selected address down",
                  .click = &Call<&Mainn::Command3_Click>},
};

// The title, "Tavelin v<major>.<minor> - ByQuorin", names the project's version.
constexpr std::string_view kCaptionStart = "Tavelin v";
constexpr std::string_view kCaptionEnd = " - ByQuorin";

const FormLayout kLayout{
    .name = "Mainn",
    .caption = JoinedText<kCaptionStart, kVersionMajorMinor, kCaptionEnd>::kText,
    .clientWidth = 7965,
    .clientHeight = 3885,
    .minimizeBox = true,
    .placement = Placement::kCentreOfScreen,
    .controls = kControls};

// The File menu; its items that open a Windows user's hive only where the program opens
// store files.
constexpr std::array kAllFileItems{
    MenuItemLayout{
        "FileReload", "Reload URLs", &Call<&Mainn::FileReload_Click>, {keys::kF5, 0, "F5"}},
    MenuItemLayout{"FileSave",
                   "Save list as",
                   &Call<&Mainn::FileSave_Click>,
                   {keys::kS, shift::kCtrl, "Ctrl+S"}},
    MenuItemLayout{
        "FileOpen", "Open list", &Call<&Mainn::FileOpen_Click>, {keys::kO, shift::kCtrl, "Ctrl+O"}},
    MenuItemLayout{"FileOpenHive",
                   "Open hive",
                   &Call<&Mainn::FileOpenHive_Click>,
                   {keys::kO, shift::kCtrl | shift::kShift, "Ctrl+Shift+O"}},
    MenuItemLayout{"FileOpenHiveReadOnly",
                   "Open hive read-only",
                   &Call<&Mainn::FileOpenHiveReadOnly_Click>,
                   {}},
    MenuItemLayout{"sepp", {}, nullptr, {}},
    MenuItemLayout{"FileAbout", "About", &Call<&Mainn::FileAbout_Click>, {}},
    MenuItemLayout{"seppp", {}, nullptr, {}},
    MenuItemLayout{"FileExit", "Exit", &Call<&Mainn::FileExit_Click>, {}},
};

// Whether this platform's File menu has the item.
constexpr bool OnThisPlatform(const MenuItemLayout& item) {
  return kPlatformOpensStoreFiles || !item.name.starts_with("FileOpenHive");
}

constexpr auto kFileItems = [] {
  std::array<MenuItemLayout, static_cast<std::size_t>(std::count_if(
                                 kAllFileItems.begin(), kAllFileItems.end(), OnThisPlatform))>
      items{};
  std::copy_if(kAllFileItems.begin(), kAllFileItems.end(), items.begin(), OnThisPlatform);
  return items;
}();

constexpr std::array kOptionsItems{
    MenuItemLayout{"GotoAddress", "Go to selected address", &Call<&Mainn::GotoAddress_Click>, {}},
    MenuItemLayout{"seppppp", {}, nullptr, {}},
    MenuItemLayout{"AddAddress", "Add new address", &Call<&Mainn::AddAddress_Click>, {}},
    MenuItemLayout{"EditAddress", "Edit selected address", &Call<&Mainn::EditAddress_Click>, {}},
    MenuItemLayout{"sep", {}, nullptr, {}},
    MenuItemLayout{"DeleteURL", "Delete selected address", &Call<&Mainn::DeleteURL_Click>, {}},
    MenuItemLayout{"DeleteAll", "Delete all addresses", &Call<&Mainn::DeleteAll_Click>, {}},
    MenuItemLayout{"Undo", "Undo", &Call<&Mainn::Undo_Click>, {keys::kZ, shift::kCtrl, "Ctrl+Z"}},
    MenuItemLayout{"Redo",
                   "Redo",
                   &Call<&Mainn::Redo_Click>,
                   {keys::kY, shift::kCtrl, "Ctrl+Y"},
                   {keys::kZ, shift::kCtrl | shift::kShift, "Ctrl+Shift+Z"}},
    MenuItemLayout{"Se", {}, nullptr, {}},
    MenuItemLayout{"Settings", "Settings", &Call<&Mainn::Settings_Click>, {}},
};

const std::array kMenus{
    MenuLayout{"mnuFile", "File", kFileItems},
    MenuLayout{Mainn::kOptionsMenu, "Options", kOptionsItems},
};

// "Open hive": its dialog's title and filters.
constexpr std::string_view kHiveDialogTitle = "Open hive";
constexpr std::string_view kHiveFilterName = "Registry hives";
constexpr std::string_view kHiveFilterPattern = "NTUSER.DAT *.DAT *.dat *.reg";

// Asked in manual mode before a switch would drop the changes the list shows.
constexpr std::string_view kSwitchTitle = "Tavelin";
constexpr std::string_view kSwitchQuestion =
    "The list shows changes that have not been saved. Open the other hive anyway? The changes "
    "will be lost.";

// The list-file dialogs' one filter.
constexpr std::string_view kListFilterName = "Text";
constexpr std::string_view kListFilterPattern = "*.txt";

}  // namespace

int WindowModeToShowCommand(std::string_view windowMode) {
  return windowMode == kMinimizedWindowMode ? kShowMinimized : kShowMaximized;
}

std::string ListDisplayText(std::string_view entry) {
  if (entry.find_first_of("\r\n") == std::string_view::npos) return std::string(entry);
  std::string out;
  out.reserve(entry.size() + 8);
  for (std::size_t i = 0; i < entry.size(); ++i) {
    if (entry[i] == '\r' || entry[i] == '\n') {
      if (entry[i] == '\r' && i + 1 < entry.size() && entry[i + 1] == '\n') ++i;
      out += "\xC2\xB6";  // ¶
    } else {
      out += entry[i];
    }
  }
  return out;
}

namespace {

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The first `count` code points of WTF-8 text, or all of it when it is shorter.
std::string_view Leading(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (; at < text.size() && count > 0; --count) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return text.substr(0, at);
}

}  // namespace

int TypeAheadMatch(const std::vector<std::string>& entries, int selection,
                   std::string_view prefix) {
  if (entries.empty() || prefix.empty()) return -1;
  // Letters compare as the registry compares names: ASCII, Latin-1, Greek and Cyrillic
  // letters without regard to case.
  const std::string folded = FoldRegistryName(prefix);
  const std::size_t length = CodePointCount(prefix);
  const auto count = static_cast<int>(entries.size());
  const int from = selection < 0 ? 0 : (selection + (length == 1 ? 1 : 0)) % count;
  for (int step = 0; step < count; ++step) {
    const int index = (from + step) % count;
    const std::string_view entry = entries[static_cast<std::size_t>(index)];
    if (FoldRegistryName(Leading(entry, length)) == folded) return index;
  }
  return -1;
}

int TypeAhead::type(const std::vector<std::string>& entries, int selection, std::string_view text,
                    std::uint32_t time, std::uint32_t interval) {
  if (text.empty()) return -1;
  // Unsigned, so that the difference is right across the clock's wrap-round too.
  const auto since = static_cast<std::uint32_t>(time - lastTime_);
  const bool quick = !prefix_.empty() && since < interval;
  prefix_ = quick ? prefix_ + std::string(text) : std::string(text);
  lastTime_ = time;
  return TypeAheadMatch(entries, selection, prefix_);
}

Mainn::Mainn(RegistryBackend& backend, Screen& screen, BrowserLauncher& launcher,
             StoreFiles* storeFiles, StoreChoice store)
    : backend_(&backend),
      screen_(screen),
      launcher_(launcher),
      storeFiles_(storeFiles),
      store_(std::move(store)) {}

const FormLayout& Mainn::Layout() {
  return kLayout;
}

std::span<const MenuLayout> Mainn::Menus() {
  return kMenus;
}

std::string Mainn::Caption() const {
  std::string caption(kLayout.caption);
  if (!store_.file.empty()) caption += " - " + store_.file;
  if (store_.readOnly) caption += " (read-only)";
  return caption;
}

ListContext Mainn::context() {
  return {*backend_, list_, settings_, &history_, &storedBase_, [this] {
            return screen_.askYesNo({std::string(kStoreChangedTitle),
                                     std::string(kStoreChangedQuestion), MessageIcon::kQuestion});
          }};
}

void Mainn::Show(const CommandResult& result) {
  ShowErrors(screen_, result.messages());
}

void Mainn::ShowError(std::string_view text) {
  ShowErrors(screen_, std::array{text});
}

void Mainn::Form_Load() {
  startUpMessages_ = StartUp(*backend_, list_, settings_, &storedBase_).messages();
}

void Mainn::Form_Shown() {
  ShowErrors(screen_, std::exchange(startUpMessages_, {}));
}

void Mainn::FileReload_Click() {
  Show(ReloadAddresses(context()));
}

void Mainn::FileSave_Click() {
  const std::optional<std::string> chosen =
      screen_.chooseFile({true, "Save addresses to...", std::string(kListFilterName),
                          std::string(kListFilterPattern), lastListFileName_});
  if (!chosen) return;
  lastListFileName_ = *chosen;

  const std::string target = ListFileTargetName(*chosen);
  const ListFileTarget check = CheckListFileTarget(target);
  switch (check.state) {
    case ListFileTarget::State::kRefused:
      return ShowError(check.error);
    case ListFileTarget::State::kExisting:
      if (!screen_.askYesNo({"File exists", "File is already exists, would you like to replace it?",
                             MessageIcon::kQuestion})) {
        return;
      }
      break;
    case ListFileTarget::State::kNew:
      break;
  }
  const FileResult written = WriteListFile(target, list_.items());
  if (!written.ok) ShowError(written.error);
}

void Mainn::FileOpen_Click() {
  const std::optional<std::string> chosen =
      screen_.chooseFile({false, "Open addresses from...", std::string(kListFilterName),
                          std::string(kListFilterPattern), lastListFileName_});
  if (!chosen) return;
  lastListFileName_ = *chosen;

  // The whole file is read before the list is touched, so a refusal or a failure leaves it.
  ListFileRead read = ReadListFile(*chosen);
  switch (read.outcome) {
    case ListFileRead::Outcome::kMissing:
      return ShowError("File doesn't exist!");
    case ListFileRead::Outcome::kUnsupportedExtension:
      return ShowError("File extension is not supported!");
    case ListFileRead::Outcome::kFailed:
      return ShowError(read.error);
    case ListFileRead::Outcome::kRead:
      break;
  }
  Show(ImportAddresses(context(), std::move(read.entries)));
}

void Mainn::FileOpenHive_Click() {
  OpenHive(false);
}

void Mainn::FileOpenHiveReadOnly_Click() {
  OpenHive(true);
}

bool Mainn::HasUnsavedChanges() const {
  if (!IsManualSaveMode(settings_)) return false;
  return storedBase_ ? list_.contents() != *storedBase_ : list_.count() > 0;
}

void Mainn::OpenHive(bool readOnly) {
  if (!storeFiles_) return;
  if (HasUnsavedChanges() &&
      !screen_.askYesNo(
          {std::string(kSwitchTitle), std::string(kSwitchQuestion), MessageIcon::kQuestion})) {
    return;
  }
  // The dialog opens on the first Windows user's hive found, ready for Enter.
  const std::vector<StoreFiles::Found> found = storeFiles_->findHives();
  FileDialogRequest request{false, std::string(kHiveDialogTitle), std::string(kHiveFilterName),
                            std::string(kHiveFilterPattern),
                            found.empty() ? std::string() : found.front().hive};
  request.moreFilters.push_back({"All files", "*"});
  for (const StoreFiles::Found& hive : found) request.places.push_back(hive.profile);
  const std::optional<std::string> chosen = screen_.chooseFile(request);
  if (!chosen) return;

  // Started on aside, so that a file that cannot be opened leaves the window as it was.
  std::unique_ptr<RegistryBackend> next = storeFiles_->open(*chosen, readOnly);
  AddressList list;
  ProgramSettings settings;
  std::optional<TypedAddresses> base;
  std::string refusal;
  CommandResult started = StartUpOpened(*next, list, settings, base, refusal);
  if (!refusal.empty()) {
    return ShowError(refusal + " Tavelin still shows the typed addresses of " +
                     backend_->description() + ".");
  }
  opened_ = std::move(next);
  backend_ = opened_.get();
  store_ = {*chosen, readOnly};
  list_.exchangeAll(list.exchangeAll({}));
  SelectFirstAddress(list_);
  settings_ = std::move(settings);
  history_ = UndoHistory();
  storedBase_ = std::move(base);
  screen_.captionChanged();
  Show(started);
}

void Mainn::FileAbout_Click() {
  FrmAbout dialog(screen_);
  dialog.Form_Load();
  screen_.openDialog(dialog);
}

void Mainn::FileExit_Click() {
  screen_.endProgram();
}

void Mainn::GotoAddress_Click() {
  const int index = list_.selectionIndex();
  if (index == -1) return ShowError(MessageText(CommandMessage::kNoAddressSelected));
  const std::string address = BrowserAddress(list_.item(static_cast<std::size_t>(index)));
  const LaunchOutcome outcome =
      launcher_.open(address, WindowModeToShowCommand(settings_.WindowMode));
  if (!outcome.started) ShowError(outcome.error);
}

void Mainn::AddAddress_Click() {
  FrmAdd dialog(screen_, context());
  screen_.openDialog(dialog);
}

void Mainn::EditAddress_Click() {
  const CommandMessage message = CheckEditable(list_);
  if (message != CommandMessage::kNone) return ShowError(MessageText(message));
  FrmEdit dialog(screen_, context());
  dialog.Form_Load();
  screen_.openDialog(dialog);
}

void Mainn::DeleteURL_Click() {
  Show(DeleteSelectedAddress(context()));
}

void Mainn::DeleteAll_Click() {
  Show(DeleteAllAddresses(context()));
}

void Mainn::Undo_Click() {
  Show(UndoChange(context()));
}

void Mainn::Redo_Click() {
  Show(RedoChange(context()));
}

void Mainn::Settings_Click() {
  FrmSettings dialog(screen_, *backend_, settings_);
  dialog.Form_Load();
  screen_.openDialog(dialog);
}

void Mainn::Command1_Click() {
  Show(SaveAllChanges(context()));
}

void Mainn::Command2_Click() {
  Show(MoveSelectedUp(context()));
}

void Mainn::Command3_Click() {
  Show(MoveSelectedDown(context()));
}

void Mainn::List1_Click(int index) {
  // As in a single-selection list box, a click (Ctrl+click on the selected entry too) or a
  // key never leaves a selection cleared; only the commands do that.
  if (index < 0 && list_.selectionIndex() >= 0) return;
  list_.select(index);
}

void Mainn::List1_KeyDown(int keyCode, int /*shiftState*/) {
  // Only the Delete key does anything here, whatever Shift, Ctrl or Alt; with nothing
  // selected it says so. Every other key is left to the list's own work.
  if (keyCode == keys::kDelete) DeleteURL_Click();
}

void Mainn::List1_MouseDown(int button, int /*shiftState*/) {
  // The selection stays as it was: the menu acts on the entry selected before.
  if (button == mouse::kRight) screen_.popUpOptionsMenu(PopUpPlace::kAtPointer);
}

void Mainn::List1_DblClick() {
  // Silent without a selection, unlike the menu's "Edit selected address".
  if (list_.selectionIndex() == -1) return;
  EditAddress_Click();
}

void Mainn::List1_ContextMenuKey() {
  screen_.popUpOptionsMenu(PopUpPlace::kAtSelection);
}

}  // namespace tavelin
