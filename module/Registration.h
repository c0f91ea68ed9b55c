#pragma once
// Registration of the module's classes as in-process servers and of its filters with
// the platform's filter mappers, and its undoing. DllRegisterServer and
// DllUnregisterServer are the entry points; the rest is exposed for them and for tests.
#include "ModuleTables.h"

#include <windows.h>
#include <dshow.h>

// Where registration meets the user and the platform. The module shows its messages in
// a message box and creates the platform's mappers; a test that links this code puts in
// its own, so that nothing ever waits on a box and a missing mapper can be staged.
struct RegistrationHost
{
    void (*ShowMessage)(const char* text);
    HRESULT (*CreateMapper)(REFCLSID classId, REFIID iid, void** out);
};
extern RegistrationHost registrationHost;

// Writes or removes the class keys of every template and the default-category
// registrations of the filters.
HRESULT AMovieDllRegisterServer2(BOOL doRegister);

// HKEY_CLASSES_ROOT\CLSID\{classId} with `name`, and its sub-key `serverKeyName` with
// the module path and the threading model.
HRESULT RegisterClassServer(REFCLSID classId, const wchar_t* name, const wchar_t* modulePath,
                            const wchar_t* threadingModel, const wchar_t* serverKeyName);

// Deletes the class key of every template with all it holds, stored settings included.
// Missing keys are skipped and failures ignored: always S_OK.
HRESULT UnregisterClassServers();

// Deletes parent\name with all its sub-keys. A missing key is S_OK; an empty name E_FAIL.
HRESULT DeleteKeyTree(HKEY parent, const char* name);

// Replaces (or, unregistering, removes) the filter's default-category registration.
// A registration that is not there counts as removed.
HRESULT RegisterWithFilterMapper(const FilterSetupRecord* record, IFilterMapper2* mapper,
                                 BOOL doRegister);
HRESULT RegisterWithOldFilterMapper(const FilterSetupRecord* record, IFilterMapper* mapper,
                                    BOOL doRegister);
