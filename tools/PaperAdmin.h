// korvela-admin's paper commands: a customer's statement, a visit's service form and the debtors
// list written as PDF files without a window.
#pragma once

#include <QStringList>

namespace paperadmin {

// True when args[1] names a paper command (the caller then needs a GUI application object).
bool isPaperCommand(const QStringList& args);

// Runs the paper command in args (the whole command line, program name first) and returns the
// exit code:
//   statement DB CUSTOMER_ID OUT.pdf    the customer's statement
//   form DB VISIT_ID OUT.pdf            the visit's service form
//   debtors DB OUT.pdf                  every customer who owes
// DB is a database file or a server connection string. A missing database, id or output
// folder is reported with exit code 1, and no file is written.
int run(const QStringList& args);

// The usage lines of these commands.
const char* usage();

} // namespace paperadmin
