#include "startup/modInstances.h"

int main(int argc, char** argv) {
    return gv::StartProcedure(argc, argv);
}
