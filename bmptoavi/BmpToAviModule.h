#pragma once

// Counts the DLL's live objects and server locks, so that DllCanUnloadNow keeps the DLL
// loaded while anything of it is in use. Any thread.
void ModuleAddRef();
void ModuleRelease();

// Holds the module for the lifetime of the object it is a member of.
struct ModuleReference {
    ModuleReference() { ModuleAddRef(); }
    ~ModuleReference() { ModuleRelease(); }
    ModuleReference(ModuleReference const&) { ModuleAddRef(); }
    ModuleReference& operator=(ModuleReference const&) = default;
};
