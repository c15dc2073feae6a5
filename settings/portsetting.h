#pragma once

#include <QString>

class MainSession;

// The program's one setting: the serial port, key "port" of section
// "SETTINGS" in config.ini.
inline const QString settingsSection = QStringLiteral("SETTINGS");
inline const QString portKey = QStringLiteral("port");

// Reads the stored port into the session's portNumber (empty when missing).
void loadSettings(MainSession& session);
