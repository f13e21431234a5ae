// The program's entry: the application, then the main window and the event
// loop until the main window is closed (RunMainWindow).
#include "qt/Application.h"
#include "qt/StartUp.h"

int main(int argc, char** argv) {
  velbrook::Application application(argc, argv);
  return velbrook::RunMainWindow({});
}
