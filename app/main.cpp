#include "CVellumoApp.h"

int main(int argc, char** argv) {
    CVellumoApp application;
    return application.Run(argc, argv);
}
