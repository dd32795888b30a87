#pragma once
// Resource ids: options
