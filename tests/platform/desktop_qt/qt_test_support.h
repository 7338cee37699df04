#pragma once
// Helpers for driving modal dialogs and a password list like a session's.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop/dialogs.h"
#include "platform/rtl/text.h"

namespace dac::testing {

// Runs Act on the modal dialog once the modal loop has shown it. A dialog
// that Act leaves open (say, after a failed assertion) is closed, so that
// the test fails instead of waiting forever.
inline void WhenModal(std::function<void(QWidget*)> Act) {
  QTimer::singleShot(0, [Act] {
    QPointer<QWidget> dialog = QApplication::activeModalWidget();
    Act(dialog);
    if (dialog && dialog->isVisible()) {
      ADD_FAILURE() << "the dialog was left open";
      dialog->close();
    }
  });
}

// A sorted list that ignores an entry equal (ignoring case) to one it has,
// as a session's password list does, and records every call.
class TPasswordList : public IPasswordList {
 public:
  void AddPassword(const std::string& Password) override {
    Calls.push_back("add:" + Password);
    auto it = std::lower_bound(Items.begin(), Items.end(), Password,
                               [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    if (it == Items.end() || CompareText(*it, Password) != 0) Items.insert(it, Password);
  }
  void RemovePassword(const std::string& Password) override {
    Calls.push_back("remove:" + Password);
    std::erase_if(Items, [&](const std::string& s) { return CompareText(s, Password) == 0; });
  }
  void RemoveAllPasswords() override {
    Calls.push_back("clear");
    Items.clear();
  }
  std::vector<std::string> Items;
  std::vector<std::string> Calls;
};

}  // namespace dac::testing
