#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace zarvo {

// The text a stored value reads as wherever a flag or a command is compared:
// a string is itself, a number its decimal digits, a boolean "1" or "0", and a
// missing value the six characters "(null)".
QString textForm(const std::optional<QVariant>& value);

// The text form of KEY in DICT, "(null)" when the key is missing.
QString textForm(const QVariantMap& dict, const QString& key);

inline const QString kNullText = QStringLiteral("(null)");

} // namespace zarvo
