#pragma once
// Resource ids: main
