#pragma once

class MainWindow;
class QMenu;

// Serial > Session Monitor... and Serial > Open Log...: the main window's
// entries for the Session Monitor, added to its Serial menu.
void addSessionMonitorEntries(MainWindow& window, QMenu& serial);
