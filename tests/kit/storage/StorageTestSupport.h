#ifndef STORAGE_TEST_SUPPORT_H
#define STORAGE_TEST_SUPPORT_H

#include "TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

// A temporary directory of its own, with HOME and the XDG settings directory
// inside it, set before the code under test reads them.
class StorageTest : public ::testing::Test {
protected:
			void			SetUp() override;
			void			TearDown() override;

			std::string		MakeFile(const std::string& name,
								const std::string& data = "") const;

			std::unique_ptr<TempDir> fTemp;
};

// The same, once with the file system's extended attributes and once with
// the store beside each file.
class AttributeTest : public ::testing::TestWithParam<bool> {
protected:
			void			SetUp() override;
			void			TearDown() override;

			bool			Fallback() const { return GetParam(); }
			std::string		MakeFile(const std::string& name) const;
			// The stored value, read past our reader: getxattr(2), or the
			// store's own decoding.
			std::optional<std::string> Raw(const std::string& path,
								const std::string& name) const;

			std::unique_ptr<TempDir> fTemp;
};

std::string attribute_param_name(const ::testing::TestParamInfo<bool>& info);

// Runs a command through the shell and returns its standard output.
std::string command_output(const std::string& command);

#endif
