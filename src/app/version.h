#pragma once

inline constexpr char versionText[] = "Version 1.17";
