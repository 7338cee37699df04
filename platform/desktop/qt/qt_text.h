#pragma once
// Small helpers shared by the Qt dialogs.

#include <QLineEdit>
#include <QString>
#include <string>

namespace dac {

inline QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string FromQString(const QString& s) { return s.toUtf8().toStdString(); }

// A password edit that shows "*" for every character.
inline void MakePasswordEdit(QLineEdit* Edit) {
  Edit->setEchoMode(QLineEdit::Password);
  Edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

// The font the dialogs are laid out for.
QFont DialogFont();

}  // namespace dac
