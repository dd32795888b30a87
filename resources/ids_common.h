#pragma once
// Resource ids: common
