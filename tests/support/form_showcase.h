#pragma once

// Every form of the program in both modes, for the tests that photograph them and check their
// layout in a real backend: the main window with a file in each list, and each dialog filled
// as a user meets it in that mode.

#include <functional>
#include <string>
#include <vector>

#include "frm_carvex.h"
#include "support/temp_dir.h"
#include "ui/form.h"

namespace carvex::test {

struct ShowcaseMode {
  const char* mode;
  int tab;
};
const std::vector<ShowcaseMode>& ShowcaseModes();

struct ShowcaseForm {
  const char* name;
  // Loads the form, fills it for the mode and returns it, not yet shown.
  std::function<ui::Form&()> prepare;
};
std::vector<ShowcaseForm> ShowcaseForms(CarvexForm& main, const ShowcaseMode& mode);

// The program's job state as a fresh start has it, with its folders in `app`.
void StartFresh(const TempDir& app);
// Unloads every form, forgets the main window and gives the program its own folders back.
void UnloadEverything();

// For the screen-reader checks: in each mode (chosen by `selectTab`), shows the main window
// and the Options and Zip dialogs in turn, lets `settle` run the backend's queued work, and
// calls `check` with the form on screen and a description for the trace.
void ForEachNamedForm(CarvexForm& main, const std::function<void(int tab)>& selectTab,
                      const std::function<void()>& settle,
                      const std::function<void(ui::Form& form, const std::string& where)>& check);

// Lists a file in the split list and a set of pieces in the build list of `main`.
void FillShowcaseLists(CarvexForm& main, const TempDir& src, const TempDir& dest);

}  // namespace carvex::test
