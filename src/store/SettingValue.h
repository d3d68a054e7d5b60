#pragma once

#include <QString>
#include <variant>

namespace Tollgate {

// A setting's value: text, a 32-bit signed whole number or a Boolean.
using SettingValue = std::variant<QString, qint32, bool>;

// The text form of a value, as the settings store writes it ("30", "True").
inline QString settingText(const SettingValue& value)
{
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* number = std::get_if<qint32>(&value))
        return QString::number(*number);
    return std::get<bool>(value) ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace Tollgate
