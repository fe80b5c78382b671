#pragma once
// Runs a piece of a test as an ordinary user, so that file permissions hold for it also when the
// test itself runs as root (as in CI).

#include <functional>
#include <optional>
#include <string>

// Hands `path` to the unprivileged user when this process runs as root (otherwise it is ours
// already). False when that fails.
bool GiveToUnprivilegedUser(const std::string& path);

// Runs `action` in a child process. When this process runs as root, the child first gives up
// root for the user "nobody", groups included, so no right of root remains; otherwise it runs
// as we do. The text the action returns comes back; nothing when the child could not drop its
// rights, died, or did not end within `timeoutMs`.
std::optional<std::string> RunUnprivileged(const std::function<std::string()>& action, int timeoutMs = 20000);
