#include "shell/MainWindow.h"

namespace shell {

void MainWindow::connectResults() {}

} // namespace shell
