// Stands in for the companion module whose directory the binding prefers.
extern "C" __attribute__((visibility("default"))) int CompanionModuleMarker() {
    return 1;
}
