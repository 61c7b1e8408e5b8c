#ifndef SETTINGS_TEST_SUPPORT_H
#define SETTINGS_TEST_SUPPORT_H

#include "TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

class Prefs;

// A type code and bytes as the system stores an attribute.
std::string stored_value(const char* type, const std::string& bytes);
std::string int32_bytes(int32_t value);
std::string float_bytes(float a, float b, float c, float d);

// Every test runs in its own home and settings directory, set before the
// code reads them, with the attribute store chosen by the parameter: the
// file system's extended attributes, or the store beside the file.
class SettingsTest : public ::testing::TestWithParam<bool> {
protected:
			void			SetUp() override;
			void			TearDown() override;

			bool			Fallback() const { return GetParam(); }
			std::string		SettingsDirectory() const;
			std::string		SettingsFile() const;

			// The stored value of an attribute, read past our own reader: with
			// getxattr(2) from the file, or from the store beside it.
			std::optional<std::string> Raw(const std::string& name) const;
			// Sets or removes a stored value behind the code's back.
			void			SetRaw(const std::string& name,
								const std::string& value) const;
			void			RemoveRaw(const std::string& name) const;

			// Builds a record, returning what it printed.
			std::string		Construct(std::unique_ptr<Prefs>* prefs) const;

			std::unique_ptr<TempDir> fTemp;
			mode_t			fOldUmask = 0;
};

// Runs the function and returns what it printed on standard output.
std::string captured_output(const std::function<void()>& function);

std::string test_param_name(const ::testing::TestParamInfo<bool>& info);

#endif
