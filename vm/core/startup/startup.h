// The application task and one life of the virtual machine.
#pragma once

// Exit statuses of the firmware process (the device itself never exits):
// an application that ran ends with its exit code (low 8 bits);
// a virtual-machine error (creation or start failed) ends with this status.
constexpr int TARVELO_EXIT_VM_ERROR = 248;

extern "C" {
// Creates, starts and destroys the virtual machine, printing the START line
// and the END or execution-error line; returns the process exit status.
int tarvelo_main(int argc, char** argv);
void tarvelo_task(void* parameter);
}
