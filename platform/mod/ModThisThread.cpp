#include "Mod/ModThisThread.h"

#include <chrono>
#include <thread>

void ModThisThread::sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
