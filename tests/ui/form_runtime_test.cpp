#include <gtest/gtest.h>

#include "support/headless.h"
#include "ui/form.h"

namespace carvex::ui {
namespace {

// A form with one of each control that takes input, its events counted.
class SampleForm : public Form {
public:
  SampleForm() : Form("frmSample") {
    ++constructed;
    SetClientSize(6000, 4000);
    txtName.SetText("design");
    cmdGo.OnClick = [this] { events.push_back("cmdGo"); };
    cmdClose.OnClick = [this] {
      events.push_back("cmdClose");
      Unload();
      // Still safe: the form outlives its own handler.
      events.push_back(txtName.Text());
    };
    chkZip.OnClick = [this] { events.push_back("chkZip=" + std::to_string(chkZip.Value())); };
    chkZip.LostFocus = [this] { events.push_back("chkZip lost focus"); };
    optA.OnClick = [this] { events.push_back("optA"); };
    optB.OnClick = [this] { events.push_back("optB"); };
    optC.OnClick = [this] { events.push_back("optC"); };
    txtName.OnChange = [this] { events.push_back("txtName=" + txtName.Text()); };
    vscSpin.SetRange(1, 5);
    vscSpin.OnChange = [this] { events.push_back("vsc=" + std::to_string(vscSpin.Value())); };
    tbsTabs.AddTab("Split");
    tbsTabs.AddTab("Build");
    tbsTabs.OnClick = [this] { events.push_back("tab=" + std::to_string(tbsTabs.SelectedIndex())); };
    mnuFileExit.SetCaption("E&xit");
    mnuFileExit.OnClick = [this] { events.push_back("exit"); };
  }
  void Form_Load() override { events.push_back("load"); }
  void Form_QueryUnload(bool& cancel, UnloadMode mode) override {
    events.push_back(mode == UnloadMode::kUserClose ? "query user" : "query code");
    cancel = refuseUnload;
  }
  void Form_Unload(bool&) override { events.push_back("unload"); }

  Frame fraOptions{this, "fraOptions"};
  OptionButton optA{this, "optA", &fraOptions};
  OptionButton optB{this, "optB", &fraOptions};
  OptionButton optC{this, "optC"};  // on the form itself: a group of its own
  CommandButton cmdGo{this, "cmdGo", &fraOptions};
  CommandButton cmdClose{this, "cmdClose"};
  CheckBox chkZip{this, "chkZip"};
  TextBox txtName{this, "txtName"};
  VScrollBar vscSpin{this, "vscSpin"};
  TabStrip tbsTabs{this, "tbsTabs"};
  Menu mnuFile{this, "mnuFile"};
  Menu mnuFileExit{this, "mnuFileExit", &mnuFile};

  std::vector<std::string> events;
  bool refuseUnload = false;
  static inline int constructed = 0;
};

class FormRuntimeTest : public test::HeadlessTest {
protected:
  void TearDown() override {
    form.Reset();
    HeadlessTest::TearDown();
  }
  FormSlot<SampleForm> form;
};

TEST_F(FormRuntimeTest, FirstUseLoadsAndUnloadDropsTheInstance) {
  const int before = SampleForm::constructed;
  EXPECT_FALSE(form.IsLoaded());
  form->txtName.SetText("changed");
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_EQ(form->events.front(), "load");
  form->Unload();
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(form->txtName.Text(), "design");  // reloaded with design-time values
  EXPECT_EQ(SampleForm::constructed, before + 2);
}

TEST_F(FormRuntimeTest, UnloadRunsQueryThenUnloadAndCanBeRefused) {
  form->refuseUnload = true;
  form->CloseByUser();
  EXPECT_TRUE(form.IsLoaded());
  form->refuseUnload = false;
  form->Unload();
  EXPECT_FALSE(form.IsLoaded());
  form.Unload();  // on an unloaded slot: nothing is loaded just to unload it
  EXPECT_FALSE(form.IsLoaded());
}

TEST_F(FormRuntimeTest, AHandlerMayUnloadItsOwnForm) {
  SampleForm& f = *form;
  f.Show();
  f.cmdClose.Click();
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(f.events, (std::vector<std::string>{"load", "cmdClose", "query code", "unload", "design"}));
  EXPECT_TRUE(App().LoadedForms().empty());
}

TEST_F(FormRuntimeTest, OptionButtonsGroupByContainer) {
  form->optA.Click();
  form->optC.Click();
  EXPECT_TRUE(form->optA.Value());
  EXPECT_TRUE(form->optC.Value());
  form->optB.Click();
  EXPECT_FALSE(form->optA.Value());
  EXPECT_TRUE(form->optB.Value());
  EXPECT_TRUE(form->optC.Value());
  form->optB.SetValue(true);  // already selected: no second Click
  EXPECT_EQ(form->events, (std::vector<std::string>{"load", "optA", "optC", "optB"}));
}

TEST_F(FormRuntimeTest, UserInputIsIgnoredWhereItCannotHappen) {
  const struct {
    const char* label;
    void (*disable)(SampleForm&);
  } cases[] = {
      {"disabled button", [](SampleForm& f) { f.cmdGo.SetEnabled(false); }},
      {"hidden button", [](SampleForm& f) { f.cmdGo.SetVisible(false); }},
      {"disabled frame", [](SampleForm& f) { f.fraOptions.SetEnabled(false); }},
      {"disabled form", [](SampleForm& f) { f.SetEnabled(false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    form.Reset();
    c.disable(*form);
    form->cmdGo.Click();
    EXPECT_EQ(form->events, std::vector<std::string>{"load"});
    form->cmdGo.RunClick();  // code may still call the handler
    EXPECT_EQ(form->events.back(), "cmdGo");
  }
}

TEST_F(FormRuntimeTest, CheckBoxClickTogglesAndFocusLossIsReported) {
  form->chkZip.Click();
  form->chkZip.Click();
  form->chkZip.SetValue(CheckBox::kChecked);
  form->chkZip.SetValue(CheckBox::kChecked);
  form->cmdGo.Click();
  EXPECT_EQ(form->events, (std::vector<std::string>{"load", "chkZip=1", "chkZip=0", "chkZip=1", "chkZip lost focus",
                                                    "cmdGo"}));
  EXPECT_TRUE(form->cmdGo.HasFocus());
}

TEST_F(FormRuntimeTest, SpinBarClampsToItsRange) {
  SampleForm& f = *form;
  for (int i = 0; i < 10; ++i) f.vscSpin.SpinUp();
  EXPECT_EQ(f.vscSpin.Value(), 5);
  f.vscSpin.SetValue(-20);
  EXPECT_EQ(f.vscSpin.Value(), 1);
  EXPECT_EQ(f.events, (std::vector<std::string>{"load", "vsc=2", "vsc=3", "vsc=4", "vsc=5", "vsc=1"}));
}

TEST_F(FormRuntimeTest, TextChangeAndTabSelectionFireOnlyOnChange) {
  SampleForm& f = *form;
  f.txtName.SetText("design");
  f.txtName.SetText("x");
  f.tbsTabs.Select(1);
  f.tbsTabs.Select(2);
  f.tbsTabs.Select(7);
  EXPECT_EQ(f.events, (std::vector<std::string>{"load", "txtName=x", "tab=2"}));
}

TEST_F(FormRuntimeTest, MenusRespectVisibilityOfTheirParents) {
  SampleForm& f = *form;
  ASSERT_EQ(f.Menus().size(), 1u);
  EXPECT_EQ(f.Menus()[0]->Children().front(), &f.mnuFileExit);
  f.mnuFile.SetVisible(false);
  f.mnuFileExit.Click();
  f.mnuFile.SetVisible(true);
  f.mnuFileExit.Click();
  EXPECT_EQ(f.events, (std::vector<std::string>{"load", "exit"}));
}

TEST_F(FormRuntimeTest, ClientSizeAddsTheFrame) {
  EXPECT_EQ(form->Geometry().width, 6000 + Form::kFrameWidth);
  EXPECT_EQ(form->Geometry().height, 4000 + Form::kFrameHeight);
  EXPECT_EQ(form->ClientWidth(), 6000);
  EXPECT_EQ(form->ClientHeight(), 4000);
}

TEST_F(FormRuntimeTest, ModalShowReturnsWhenTheScriptClosesTheForm) {
  ui.OnShowModal("frmSample", [](Form& shown) {
    auto& f = static_cast<SampleForm&>(shown);
    f.txtName.SetText("typed");
    f.cmdClose.Click();
  });
  form->Show(true);
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(ui.ShownForms(), std::vector<std::string>{"frmSample (modal)"});
}

TEST(ListView, ItemsSubItemsAndSelection) {
  FormSlot<SampleForm> slot;
  ListView list(&slot.Get(), "lvwFiles");
  list.AddColumn("File Name", 2000);
  list.AddColumn("File Size", 1000);
  list.AddColumn("File Path", 3000);
  list.MultiSelect = true;
  for (const char* name : {"a", "b", "c"}) {
    const std::size_t i = list.Add(list.Count() + 1, name, list.Count() + 1);
    list.SetSubItem(i, 2, std::string("/x/") + name);
  }
  EXPECT_EQ(list.Item(2).subItems, (std::vector<std::string>{"", "/x/b"}));
  EXPECT_EQ(list.Add(1, "first"), 1u);
  EXPECT_EQ(list.Item(1).text, "first");
  list.SetSelected(2, true);
  list.SetSelected(4, true);
  EXPECT_EQ(list.SelectedIndexes(), (std::vector<std::size_t>{2, 4}));
  list.MultiSelect = false;
  list.SetSelected(3, true);
  EXPECT_EQ(list.SelectedIndexes(), std::vector<std::size_t>{3});
  list.Remove(1);
  EXPECT_EQ(list.Item(1).text, "a");
  EXPECT_EQ(list.Count(), 3u);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  slot.Reset();
}

}  // namespace
}  // namespace carvex::ui
