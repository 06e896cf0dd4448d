#pragma once
// `vxcodec encode ...`: argv[0] is "encode"; returns the process exit status.
int runEncodeCommand(int argc, char** argv);
