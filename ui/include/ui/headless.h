#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/backend.h"

namespace carvex::ui {

// A backend without windows, scripted by tests: the message boxes a test expects are queued
// with their answers, actions run inside a chosen DoEvents, and modal forms and dialogs are
// answered by callbacks. Whatever was not expected is recorded as a failure, which the test
// then reports; nothing blocks.
class HeadlessBackend : public Backend {
public:
  struct ShownBox {
    MsgBoxRequest request;
    MsgBoxResult answer;
  };

  // Queues the next box: shown prompt, buttons, icon and title must match exactly.
  void ExpectMsgBox(std::string prompt, MsgBoxButtons buttons, MsgBoxIcon icon, MsgBoxResult answer,
                    std::string title = "Carvex");
  // The same for a box whose text starts with `prefix` and goes on with what the system says
  // (an error's description).
  void ExpectMsgBoxStartingWith(std::string prefix, MsgBoxButtons buttons, MsgBoxIcon icon, MsgBoxResult answer,
                                std::string title = "Carvex");
  // Runs `action` inside the nth DoEvents from now (1 = the next one).
  void AtDoEvents(int n, std::function<void()> action);
  // Answers a modal Show of the named form; the callback should close it.
  void OnShowModal(const std::string& formName, std::function<void(Form&)> action);
  void OnShowOpen(std::function<bool(CommonDialog&)> answer) { openAnswer_ = std::move(answer); }
  void OnBrowseForFolder(std::function<std::string(const std::string& title)> answer) {
    folderAnswer_ = std::move(answer);
  }
  void SetShellOpenResult(bool ok) { shellOpenResult_ = ok; }

  const std::vector<ShownBox>& Boxes() const { return boxes_; }
  const std::vector<std::string>& Failures() const { return failures_; }
  std::size_t PendingBoxes() const { return expected_.size(); }
  std::size_t PendingActions() const { return actions_.size(); }
  int DoEventsCalls() const { return doEventsCalls_; }
  const std::vector<std::string>& ShellOpened() const { return shellOpened_; }
  const std::string& ClipboardText() const { return clipboard_; }
  // Every caption a control of that name was given while its form was loaded, in order.
  std::vector<std::string> Captions(const std::string& controlName) const;
  // Forms shown, in order, as "name" or "name (modal)".
  const std::vector<std::string>& ShownForms() const { return shownForms_; }

  MsgBoxResult ShowMsgBox(const MsgBoxRequest& request) override;
  void DoEvents() override;
  void ShowForm(Form& form, bool modal) override;
  bool ShowOpen(CommonDialog& dialog) override;
  std::string BrowseForFolder(Form* owner, const std::string& title) override;
  bool ShellOpen(const std::string& path, Form* owner) override;
  void SetClipboardText(const std::string& text) override { clipboard_ = text; }
  void PropertyChanged(Control& control, Property property) override;
  void EndProgram() override { ended_ = true; }
  bool Ended() const { return ended_; }

private:
  struct Expected {
    MsgBoxRequest request;
    MsgBoxResult answer;
    bool prefixOnly = false;
  };
  std::deque<Expected> expected_;
  std::multimap<int, std::function<void()>> actions_;  // keyed by absolute DoEvents count
  std::map<std::string, std::function<void(Form&)>> modal_;
  std::function<bool(CommonDialog&)> openAnswer_;
  std::function<std::string(const std::string&)> folderAnswer_;
  bool shellOpenResult_ = true;

  std::vector<ShownBox> boxes_;
  std::vector<std::string> failures_;
  std::vector<std::string> shellOpened_;
  std::vector<std::string> shownForms_;
  std::string clipboard_;
  std::vector<std::pair<std::string, std::string>> captions_;
  int doEventsCalls_ = 0;
  bool ended_ = false;
};

}  // namespace carvex::ui
