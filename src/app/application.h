#pragma once

namespace vantora {

// The program entry: single-instance rule, windows, message loop.
int runApplication(int argc, char **argv);

} // namespace vantora
