#include "support/form_showcase.h"

#include <algorithm>

#include "frm_finished.h"
#include "frm_options.h"
#include "frm_zip_file.h"
#include "mod_public.h"
#include "progress_status.h"
#include "ui/app.h"

namespace carvex::test {

const std::vector<ShowcaseMode>& ShowcaseModes() {
  static const std::vector<ShowcaseMode> modes = {{"split", 1}, {"build", 2}};
  return modes;
}

std::vector<ShowcaseForm> ShowcaseForms(CarvexForm& main, const ShowcaseMode& mode) {
  const std::string status = mode.tab == 1 ? "Splitting - holiday video.mpg.002.cvx"
                                           : "Building File - holiday video.mpg.002.cvx";
  return {
      {"frmCarvex", [&main]() -> ui::Form& { return main; }},
      {"frmProgressStatus",
       [status]() -> ui::Form& {
         frmProgressStatus->lblStatus.SetCaption(status);
         frmProgressStatus->pbProgress.SetMax(3000);
         frmProgressStatus->pbProgress.SetValue(1250);
         return *frmProgressStatus;
       }},
      {"frmZipFile", []() -> ui::Form& { return *frmZipFile; }},
      {"frmOptions", []() -> ui::Form& { return *frmOptions; }},
      {"frmFinished", []() -> ui::Form& { return *frmFinished; }},
      {"frmAbout", []() -> ui::Form& { return *frmAbout; }},
  };
}

void StartFresh(const TempDir& app) {
  OverrideAppFolders(app.Path(), app.Path());
  CurrentMode = 0;
  SplitFileCount = 0;
  ZipChecked = false;
  CommandLine.clear();
  // As after a build of a set with its checksums, the usual case.
  BuildVerified = true;
}

void UnloadEverything() {
  BuildVerified = false;
  frmFinished.Reset();
  frmZipFile.Reset();
  frmProgressStatus.Reset();
  frmOptions.Reset();
  frmAbout.Reset();
  frmCarvex.Reset();
  ui::App().MainForm = nullptr;
  OverrideAppFolders("", "");
}

void ForEachNamedForm(CarvexForm& main, const std::function<void(int tab)>& selectTab,
                      const std::function<void()>& settle,
                      const std::function<void(ui::Form& form, const std::string& where)>& check) {
  const std::vector<std::string> named = {"frmCarvex", "frmOptions", "frmZipFile"};
  for (const ShowcaseMode& m : ShowcaseModes()) {
    selectTab(m.tab);
    settle();
    for (const ShowcaseForm& f : ShowcaseForms(main, m)) {
      ui::Form& form = f.prepare();
      if (std::find(named.begin(), named.end(), form.Name()) != named.end()) {
        form.Show();
        settle();
        check(form, std::string(f.name) + " in " + m.mode + " mode");
      }
      if (&form != &main) form.Unload();
    }
  }
}

void FillShowcaseLists(CarvexForm& main, const TempDir& src, const TempDir& dest) {
  src.Write("holiday video.mpg", std::string(2500, 'v'));
  for (int k : {1, 2, 3}) dest.Write(PieceFileName("holiday video.mpg", k), std::string(1000, 'v'));
  std::string source = src.File("holiday video.mpg");
  main.AddSplitSourceFile(source);
  main.AddBuildFile(dest.File(PieceFileName("holiday video.mpg", 1)));
}

}  // namespace carvex::test
