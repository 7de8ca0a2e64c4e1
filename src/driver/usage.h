#pragma once

void PrintUsage();
