#include "resources.h"

#include "../src/typelibrary.h"

namespace veskor {

// The class identifier {3B593D89-F35E-4222-AFB3-3C957F4620FB} and the type library
// {7066D842-F691-4959-8014-CF10A9358077} are CLSID_Veskor and LIBID_VESKORMODLib of
// veskor.h; the module's tests hold the two in step.
const char kRegistrationScript[] = R"(HKCR
{
	VeskorMod.Veskor.1 = s 'Veskor Class'
	{
		CLSID = s '{3B593D89-F35E-4222-AFB3-3C957F4620FB}'
	}
	VeskorMod.Veskor = s 'Veskor Class'
	{
		CLSID = s '{3B593D89-F35E-4222-AFB3-3C957F4620FB}'
		CurVer = s 'VeskorMod.Veskor.1'
	}
	NoRemove CLSID
	{
		ForceRemove {3B593D89-F35E-4222-AFB3-3C957F4620FB} = s 'Veskor Class'
		{
			ProgID = s 'VeskorMod.Veskor.1'
			VersionIndependentProgID = s 'VeskorMod.Veskor'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			ForceRemove 'Control'
			ForceRemove 'Insertable'
			ForceRemove 'ToolboxBitmap32' = s '%MODULE%, 101'
			'MiscStatus' = s '0'
			{
				'1' = s '132497'
			}
			'TypeLib' = s '{7066D842-F691-4959-8014-CF10A9358077}'
			'Version' = s '1.0'
		}
	}
}
)";

namespace {

constexpr com::ScriptResource kScripts[] = {{102, kRegistrationScript}};
const com::TypeLibResource kTypeLibs[] = {{1, &kVeskorTypeLib}};
constexpr com::StringResource kStrings[] = {{100, "VeskorMod"}};
constexpr com::VersionString kVersionStrings[] = {
    {"FileDescription", "VeskorMod Module"},
    {"FileVersion", "2, 0, 2, 1"},
    {"InternalName", "VeskorMod"},
    {"OriginalFilename", "libVeskorMod.so"},
    {"ProductName", "VeskorMod Module"},
    {"ProductVersion", "2, 0, 2, 1"},
    {"OLESelfRegister", ""},
};
constexpr com::VersionBlock kVersion{{2, 0, 2, 1}, {2, 0, 2, 1}, kVersionStrings};

}  // namespace

const com::ModuleResources kModuleResources{kScripts, kTypeLibs, kStrings, &kVersion};

}  // namespace veskor
