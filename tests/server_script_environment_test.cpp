// The script environment's slots as a plugin uses them, the command-line
// argument path and plugin loading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "server/script_environment.h"
#include "tests/support/test_clip.h"

namespace quillfen {

namespace {

using quillfen::server::ScriptEnvironment;
using quillfen::server::ServerError;

const char* const filter_signature = "c[sup]b[radius]i[gaussian]b[iterations]i[threshold]i";

// Registered in place of a real filter: records the argument array it got.
struct Recorder {
  std::vector<AVSValue> arguments;
  static AVSValue AVS_CDECL apply(AVSValue args, void* user_data, IScriptEnvironment*) {
    auto* recorder = static_cast<Recorder*>(user_data);
    recorder->arguments.assign(&args[0], &args[0] + args.ArraySize());
    return args[0];
  }
};

std::string error_message(const std::function<void()>& action) {
  try {
    action();
  } catch (const AvisynthError& error) {
    return error.msg;
  } catch (const ServerError& error) {
    return error.what();
  }
  return "no error";
}

// A va_list as a plugin hands it to VSprintf: the list itself where it is
// a pointer, its address elsewhere.
template <typename List>
void* handed_on(List& args) {
  if constexpr (std::is_pointer_v<List>)
    return args;
  else
    return &args;
}

char* forward_to_vsprintf(IScriptEnvironment& env, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char* text = env.VSprintf(fmt, handed_on(args));
  va_end(args);
  return text;
}

TEST(ScriptEnvironmentText, ThrowErrorFormatsAndItsMessageOutlivesLaterErrors) {
  ScriptEnvironment env;
  const char* first = nullptr;
  try {
    env.ThrowError("Quillfen: %s is %d.", "radius", 0);
  } catch (const AvisynthError& error) {
    first = error.msg;
  }
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_NE(error_message([&] { env.ThrowError("%0500d", i); }), "no error");
  EXPECT_STREQ(first, "Quillfen: radius is 0.");
}

TEST(ScriptEnvironmentText, SavedAndFormattedStringsAreIndependentCopies) {
  ScriptEnvironment env;
  char buffer[] = "abcdef";
  char* saved = env.SaveString(buffer, 3);
  char* whole = env.SaveString(buffer);
  buffer[0] = 'X';
  EXPECT_STREQ(saved, "abc");
  EXPECT_STREQ(whole, "abcdef");
  EXPECT_STREQ(env.Sprintf("%s-%03d", "frame", 7), "frame-007");
  EXPECT_STREQ(forward_to_vsprintf(env, "%d/%d %s", 30000, 1001, "fps"), "30000/1001 fps");
}

TEST(ScriptEnvironmentInvoke, BindsSingleValuesArraysAndNamesAndFindsNamesInAnyCase) {
  ScriptEnvironment env;
  Recorder recorder;
  env.AddFunction("Quillfen", filter_signature, Recorder::apply, &recorder);
  EXPECT_TRUE(env.FunctionExists("quillFEN"));
  EXPECT_FALSE(env.FunctionExists("Quillfe"));

  const PClip clip = new TestClip(yuy2_info(8, 4));
  const AVSValue result = env.Invoke("Quillfen", AVSValue(clip));
  EXPECT_EQ(result.AsClip().get(), clip.get());
  ASSERT_EQ(recorder.arguments.size(), 6u);
  EXPECT_FALSE(recorder.arguments[2].Defined());

  const AVSValue values[] = {AVSValue(clip), AVSValue(9), AVSValue(true)};
  const char* names[] = {nullptr, "iterations", "gaussian"};
  env.Invoke("QUILLFEN", AVSValue(values, 3), names);
  EXPECT_EQ(recorder.arguments[4].AsInt(0), 9);
  EXPECT_TRUE(recorder.arguments[3].AsBool(false));
  EXPECT_FALSE(recorder.arguments[1].Defined());
}

TEST(ScriptEnvironmentInvoke, UnknownFunctionRaisesNotFoundAndBadArgumentsAScriptError) {
  ScriptEnvironment env;
  Recorder recorder;
  env.AddFunction("Quillfen", filter_signature, Recorder::apply, &recorder);
  EXPECT_THROW(env.Invoke("ConvertToRGB", AVSValue()), IScriptEnvironment::NotFound);
  EXPECT_THROW(env.Invoke(nullptr, AVSValue()), IScriptEnvironment::NotFound);
  const AVSValue values[] = {AVSValue(new TestClip(yuy2_info(8, 4))), AVSValue("wide")};
  const char* names[] = {nullptr, "radius"};
  EXPECT_EQ(error_message([&] { env.Invoke("Quillfen", AVSValue(values, 2), names); }),
            "Quillfen: argument \"radius\" must be an int, not a string; valid arguments: sup, radius, gaussian, "
            "iterations, threshold");
  EXPECT_TRUE(recorder.arguments.empty());
  EXPECT_NE(error_message([&] { env.AddFunction("Bad", "c[radius", Recorder::apply, nullptr); })
                .find("Bad: cannot register signature"),
            std::string::npos);
  EXPECT_FALSE(env.FunctionExists("Bad"));
}

TEST(ScriptEnvironmentInvoke, BuiltInConversionsAreRegistered) {
  ScriptEnvironment env;
  EXPECT_TRUE(env.FunctionExists("ConvertToYUY2"));
  EXPECT_TRUE(env.FunctionExists("ConvertToYV12"));
}

class TextArguments : public ::testing::Test {
 protected:
  std::string text_error(const std::vector<std::pair<std::string, std::string>>& named) {
    return error_message([&] { env.invoke_with_text("Quillfen", clip, named); });
  }
  ScriptEnvironment env;
  Recorder recorder;
  PClip clip{new TestClip(yuy2_info(8, 4))};
  void SetUp() override {
    env.AddFunction("Quillfen", filter_signature, Recorder::apply, &recorder);
    env.AddFunction("Tweak", "c[hue]f[label]s[anything].", Recorder::apply, &recorder);
  }
};

TEST_F(TextArguments, ConvertsEachTextToTheKindTheSignatureAsks) {
  env.invoke_with_text("Quillfen", clip, {{"radius", "-12"}, {"SUP", "TRUE"}, {"gaussian", "false"}});
  EXPECT_EQ(recorder.arguments[0].AsClip().get(), clip.get());
  EXPECT_EQ(recorder.arguments[2].AsInt(0), -12);
  EXPECT_TRUE(recorder.arguments[1].AsBool(false));
  EXPECT_TRUE(recorder.arguments[3].IsBool());
  EXPECT_FALSE(recorder.arguments[3].AsBool(true));

  env.invoke_with_text("Tweak", clip, {{"hue", "2"}, {"label", "12"}, {"anything", "2.5"}});
  EXPECT_EQ(recorder.arguments[1].AsFloat(0), 2.0f);
  EXPECT_STREQ(recorder.arguments[2].AsString(""), "12");
  EXPECT_EQ(recorder.arguments[3].Kind(), 'f');
  EXPECT_EQ(recorder.arguments[3].AsFloat(0), 2.5f);
}

TEST_F(TextArguments, BadTextsNameTheArgumentAndListTheValidOnes) {
  const std::string names = "; valid arguments: sup, radius, gaussian, iterations, threshold";
  EXPECT_EQ(text_error({{"radius", "99999999999"}}),
            "Quillfen: argument \"radius\" is out of range for an int: \"99999999999\"" + names);
  EXPECT_EQ(text_error({{"radius", "2147483648"}}),
            "Quillfen: argument \"radius\" is out of range for an int: \"2147483648\"" + names);
  EXPECT_EQ(text_error({{"radius", "abc"}}), "Quillfen: argument \"radius\" must be an int, not \"abc\"" + names);
  EXPECT_EQ(text_error({{"radius", "3x"}}), "Quillfen: argument \"radius\" must be an int, not \"3x\"" + names);
  EXPECT_EQ(text_error({{"radius", ""}}), "Quillfen: argument \"radius\" has an empty value" + names);
  EXPECT_EQ(text_error({{"sup", "yes"}}), "Quillfen: argument \"sup\" must be true or false, not \"yes\"" + names);
  EXPECT_EQ(text_error({{"radiuss", "2"}}), "Quillfen: no argument named \"radiuss\"" + names);
  EXPECT_EQ(text_error({{"radius", "1"}, {"radius", "2"}}), "Quillfen: argument \"radius\" is given twice" + names);
  EXPECT_TRUE(recorder.arguments.empty());
  EXPECT_EQ(error_message([&] { env.invoke_with_text("Tweak", clip, {{"hue", "1e39"}}); }),
            "Tweak: argument \"hue\" is out of range for a float: \"1e39\"; valid arguments: hue, label, anything");
  EXPECT_EQ(error_message([&] { env.invoke_with_text("Quilfen", clip, {}); }), "no function named \"Quilfen\"");
  EXPECT_EQ(text_error({}), "no error");
  EXPECT_EQ(error_message([&] { env.invoke_with_text("Quillfen", nullptr, {}); }),
            "Quillfen: argument 1 (a clip) is required" + names);
}

TEST(ScriptEnvironmentState, VariablesScopesAndVersion) {
  ScriptEnvironment env;
  EXPECT_THROW(env.GetVar("last"), IScriptEnvironment::NotFound);
  char name[] = "label";
  EXPECT_TRUE(env.SetGlobalVar("frames", AVSValue(10)));
  EXPECT_FALSE(env.SetGlobalVar("frames", AVSValue(12)));
  EXPECT_TRUE(env.SetVar(name, AVSValue(name)));
  name[0] = 'X';
  EXPECT_STREQ(env.GetVar("label").AsString(""), "label");
  env.PushContext();
  EXPECT_THROW(env.GetVar("label"), IScriptEnvironment::NotFound);
  EXPECT_EQ(env.GetVar("frames").AsInt(0), 12);
  env.SetVar("inner", AVSValue(1));
  env.PopContext();
  EXPECT_THROW(env.GetVar("inner"), IScriptEnvironment::NotFound);
  EXPECT_EQ(env.GetVar("label").AsString(""), std::string("label"));
  env.PopContext();
  env.PopContext();

  EXPECT_NO_THROW(env.CheckVersion(2));
  EXPECT_NO_THROW(env.CheckVersion(1));
  EXPECT_NE(error_message([&] { env.CheckVersion(3); }).find("version 3"), std::string::npos);
  EXPECT_EQ(env.ManageCache(1, nullptr), nullptr);
  EXPECT_EQ(env.SetMemoryMax(64), 64);
  EXPECT_EQ(env.SetMemoryMax(0), 64);
}

TEST(ScriptEnvironmentState, AtExitFunctionsRunAtDestructionLastFirst) {
  std::vector<int> order;
  struct Call {
    std::vector<int>* order;
    int id;
    static void AVS_CDECL run(void* data, IScriptEnvironment* env) {
      auto* call = static_cast<Call*>(data);
      call->order->push_back(call->id);
      if (call->id == 2) env->ThrowError("shutdown failed");
    }
  };
  Call first{&order, 1}, second{&order, 2}, third{&order, 3};
  {
    ScriptEnvironment env;
    env.AtExit(Call::run, &first);
    env.AtExit(Call::run, &second);
    env.AtExit(Call::run, &third);
    EXPECT_TRUE(order.empty());
  }
  EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
}

TEST(ScriptEnvironmentState, SetWorkingDirChangesTheDirectoryAndReportsFailure) {
  ScriptEnvironment env;
  const auto before = std::filesystem::current_path();
  const auto target = std::filesystem::temp_directory_path();
  EXPECT_EQ(env.SetWorkingDir(target.c_str()), 0);
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(target));
  EXPECT_NE(env.SetWorkingDir("/no/such/directory"), 0);
  EXPECT_EQ(env.SetWorkingDir(before.c_str()), 0);
}

class PluginLoading : public ::testing::Test {
 protected:
  ScriptEnvironment env;
  std::string load_error(const std::string& path) {
    return error_message([&] { env.load_plugin(path); });
  }
};

TEST_F(PluginLoading, MissingFileAndNonModuleAreRefusedWithThePath) {
  const std::string missing = "/no/such/quillfen_module.so";
  EXPECT_EQ(load_error(missing).rfind("cannot load plugin \"" + missing + "\": ", 0), 0u) << load_error(missing);
  const auto text_file = std::filesystem::temp_directory_path() / "quillfen_not_a_module.so";
  std::ofstream(text_file) << "not a module\n";
  EXPECT_EQ(load_error(text_file.string()).rfind("cannot load plugin \"" + text_file.string() + "\": ", 0), 0u);
  std::filesystem::remove(text_file);
  // A bare name is a file in the working directory, not a system library.
  EXPECT_EQ(load_error("libc.so.6").rfind("cannot load plugin \"libc.so.6\": ", 0), 0u);
}

TEST_F(PluginLoading, ModuleWithoutEntryPointIsRefused) {
  // The C library is a real module that registers nothing.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::fclose), &info), 0);
  const std::string path = info.dli_fname;
  EXPECT_EQ(load_error(path), "plugin \"" + path + "\" has no AvisynthPluginInit2 entry point");
}

#ifdef QUILLFEN_PLUGIN_PATH
TEST_F(PluginLoading, TheFilterModuleRegistersItsFunction) {
  EXPECT_EQ(env.load_plugin(QUILLFEN_PLUGIN_PATH), "Quillfen v0.7.4.1");
  EXPECT_TRUE(env.FunctionExists("Quillfen"));
  // The plugin takes this server for AviSynth+, and holds its clip
  // arguments once more, only if it had AviSynth+'s own functions.
  EXPECT_FALSE(env.FunctionExists("AddAutoloadDir"));
}
#endif

}  // namespace

}  // namespace quillfen
