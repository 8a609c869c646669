#include "app/app_main.h"
#include "platform/system.h"

int main(int argc, char** argv) { return vesk::RunVeskRecorder(vesk::ProcessArguments(argc, argv)); }
