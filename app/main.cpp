#include "app/driver.h"
#include "app/platform/console.h"

int main(int argc, char** argv) { return seqconv::run_batch(seqconv::platform::acquire_arguments(argc, argv)); }
