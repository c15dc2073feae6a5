#pragma once

#include <optional>

// The modem control lines of a port. Pseudo-terminals and some adapters have
// none; then the answers are "nothing" and "false", never an error that would
// drop the link. Tests replace this with a double, as a pty cannot show CTS.
class ModemLines {
public:
    virtual ~ModemLines() = default;
    // The clear-to-send line, or nothing where the port has no modem lines.
    virtual std::optional<bool> clearToSend() = 0;
    // Sets data-terminal-ready; false where the port has no modem lines.
    virtual bool setDataTerminalReady(bool on) = 0;
};
