#pragma once

#include "settings/configuration.h"

#include <QString>

// The program's one setting: the serial port, key "port" of section
// "SETTINGS" in config.ini.
inline const QString settingsSection = QStringLiteral("SETTINGS");
inline const QString portKey = QStringLiteral("port");

// The stored port value (empty when missing); why config.ini cannot be used
// goes to *error.
QString readPortSetting(QString* error = nullptr);
// Stores the port value, keeping the rest of config.ini as it was.
IniWriteResult writePortSetting(const QString& value);
