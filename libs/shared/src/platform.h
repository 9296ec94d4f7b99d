#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <string>

// The one place that talks to the operating system. Everything else in the
// system calls this small interface, so a port touches only its sources.
namespace zorva::plugin::platform {

// Folders and files.

// The full path of the running program file. Raises the system error of the
// query when the path cannot be obtained.
boost::filesystem::path programLocation();

// The user's application data folder: $XDG_DATA_HOME, else ~/.local/share.
// Created when missing; whether that worked is for the caller to check.
boost::filesystem::path userDataDir();

// The all-users application data folder: the first entry of $XDG_DATA_DIRS
// that is an existing folder, else /usr/local/share. Never created.
boost::filesystem::path commonDataDir();

// True when the directory exists and this process may create files in it.
bool isWritableDirectory(const boost::filesystem::path& directory);

// User and machine.

// The login name: $USERNAME when set, else the account name of the real user.
std::string userName();
// The host name: $COMPUTERNAME when set, else the kernel's host name.
std::string computerName();
// The domain: $USERDOMAIN when set, else the NIS domain name, which reads
// "(none)" when the machine has none.
std::string userDomain();

// Processes.

// The id of this process, read once.
std::uint64_t processId();

// Hands the heap's free memory back to the system: what a burst of work took
// need not stay with a program that waits for the next page for hours.
void releaseFreeMemory();

// Sockets.

// Makes a thread blocked in accept on this listening socket return with an
// error. On Linux closing the socket alone leaves that thread blocked, and
// the socket listening, until the next connection arrives. Errors are ignored.
void stopListening(int socketHandle);

// Kills every process started by this one, directly or indirectly, and ends
// this process at once with exit code 0: no static destructors, no atexit.
[[noreturn]] void killProcessTreeAndExit();

}  // namespace zorva::plugin::platform
