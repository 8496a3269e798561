// One run from banner to exit status.
#pragma once

int run_quorvex(int argc, char** argv);
