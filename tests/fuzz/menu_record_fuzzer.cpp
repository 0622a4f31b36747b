// Arbitrary bytes as one stored menu record, taken apart the way the shell extension does when
// it builds the menu and when it runs an item: every element, every flag, the built-in
// command, the icon source. The menu runs inside the file manager, so a record may be
// nonsense but must never take it down; what the parser hands back must also come from the
// record itself.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "menu_config.h"
#include "platform/registry.h"
#include "ui/app.h"
#include "ui/headless.h"

namespace {

using carvex::Element;
using carvex::fuzz::Broken;

constexpr Element kElements[] = {Element::kCaption, Element::kCommand, Element::kCommandLine, Element::kIcon,
                                 Element::kDescription};
constexpr carvex::Flag kFlags[] = {carvex::Flag::kSendFile, carvex::Flag::kSendFolder,
                                   carvex::Flag::kOverwrite, carvex::Flag::kOverwriteAsk};

bool Within(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

void CheckElements(std::string_view record) {
  for (const Element element : kElements) {
    const std::optional<std::string> content = carvex::FindElement(record, element);
    if (content && !Within(record, *content)) Broken("an element's content is not part of its record");
  }
  for (const carvex::Flag flag : kFlags) (void)carvex::HasFlag(record, flag);
}

void CheckIcon(std::string_view icon) {
  const std::optional<carvex::IconSource> source = carvex::ParseIconElement(icon);
  if (source && (!icon.starts_with(source->file) || icon.size() <= source->file.size() ||
                 icon[source->file.size()] != ','))
    Broken("the icon file is not the part of the element before its last comma");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  carvex::fuzz::UseScratchRegistry();
  const std::string_view record = carvex::fuzz::AsText(data, size);

  // A fresh headless backend answers the configuration warning without keeping a record of
  // every box across millions of runs.
  carvex::ui::HeadlessBackend ui;
  carvex::ui::App().SetBackend(&ui);
  CheckElements(record);
  // The scratch hand-off key is readable, so describing the entry has no reason to fail.
  CheckIcon(carvex::DescribeMenuEntry(record).icon);
  (void)carvex::FindBuiltIn(carvex::ExtractCommand(record));
  CheckIcon(record);
  // A submenu's key name loses its ordering prefix and nothing else.
  if (!record.ends_with(carvex::SubmenuCaption(record)))
    Broken("a submenu caption is not the end of its key name");
  carvex::ui::App().SetBackend(nullptr);
  return 0;
}
