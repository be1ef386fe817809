#include "shell/MainWindow.h"

namespace shell {

void MainWindow::connectFileList() {}

} // namespace shell
