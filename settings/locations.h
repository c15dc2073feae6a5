#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its settings and looks for the interface document.
// Pure rules: everything they depend on comes in as an argument.

struct Places {
    QString programDir;     // the running executable's directory, canonical
    QString installBinDir;  // the install prefix's bin/, canonical; empty if it does not exist
    QString installDataDir; // the install prefix's share/
    QString configOption;   // the --config value, absolute; empty when not given
    QString xdgConfigHome;  // the environment's values, possibly unset or relative
    QString xdgDataHome;
    QString xdgStateHome;
    QString home;
};

struct ConfigLocation {
    QString path;
    // The folder is the program's own in the user's config home: made on the first save.
    bool createFolder = false;
};

// The program runs from the bin/ of the prefix it was built for, so its own
// folder is not the user's to write.
bool isInstalled(const Places& places);

// --config FILE if given; else config.ini beside a program that is not
// installed; else $XDG_CONFIG_HOME/orv-test/config.ini.
ConfigLocation configLocation(const Places& places);

// Where the session logs go: $XDG_STATE_HOME/orv-test, by default
// ~/.local/state/orv-test.
QString logFolder(const Places& places);

// The folders searched, in order, for a document the program does not ship:
// beside the program, $XDG_DATA_HOME/orv-test, share/orv-test of the prefix.
QStringList documentFolders(const Places& places);
