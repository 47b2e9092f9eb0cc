#pragma once
// What reaches Qt from the wizard's command line. Started by a user, Qt
// gets the arguments as given: its options are that user's own business.
// Started as administrator (pkexec, sudo), nothing of the caller's choosing
// does: no plugin path, no style, no other option, no platform plugin but
// X11's (xcb, as the desktop launcher has always chosen it), or Qt's own
// offscreen plugin when the caller asked for exactly that (a run without
// windows, as the tests make). The caller's QT_* variables are gone by then
// (platform::AdministratorEnvironment). The file argument is read apart
// from these (imageargument.h).

#include <string>
#include <vector>

// args: argv as given, argv[0] first; platformVariable: the caller's
// QT_QPA_PLATFORM (null when unset).
std::vector<std::string> QtArguments(const std::vector<std::string>& args, const char* platformVariable,
                                     bool administrator);

// The option the administrator launcher starts the wizard with, as the
// user, when pkexec could not start it (no agent, refused, failed): the
// wizard only says so and ends. An administrator's wizard ignores it.
inline constexpr char kAdminStartFailedOption[] = "--admin-start-failed";
bool AsksAdminStartFailedNote(const std::vector<std::string>& args, bool administrator);
