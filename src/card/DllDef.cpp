#include "DllDef.h"

DllDef::DllDef(std::string libraryPath) : library_(std::move(libraryPath)) {}
