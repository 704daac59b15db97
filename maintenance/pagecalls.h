#pragma once
// The common shape of a page handler that calls the controller: take a pooled connection,
// make the call, log a failure with the controller's text, give the connection back. Also the
// field parsing of the pages (a field that is not a number is refused, never sent) and their
// built-in texts. GUI thread only.

#include "maintenancecontext.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mvx::maint {

// Runs `call` on a connection taken with GetSocket(timeout). A non-zero code is logged with the
// controller's text; without a connection nothing is sent and that is logged. A getter's reply
// that cannot be read is logged too. Returns the call's code (kErrorNoSocket without connection).
int CallOnConnection(MaintenanceContext& ctx, double timeoutSeconds, const std::function<int(int socket)>& call);

// Runs `work` on a connection taken with GetSocket(timeout) and gives it back; `work` makes its
// own calls and reports them. Without a connection nothing runs, that is logged (unless `quiet`)
// and false is returned. An exception of `work` is logged.
bool WithConnection(MaintenanceContext& ctx, double timeoutSeconds, const std::function<void(int socket)>& work,
                    bool quiet = false);

// A field's number, or nullopt after logging the message of `key` ("%s" = the field's text).
std::optional<double> FieldNumber(MaintenanceContext& ctx, const QString& text, std::string_view key);

// Current text of a message, "%s" replaced by `arg` when given.
QString Text(std::string_view key);
QString Text(std::string_view key, const QString& arg);

// Registers the built-in texts of the motion, tuning and I/O pages (once).
void registerPageTexts();

}  // namespace mvx::maint
