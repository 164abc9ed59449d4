// Signature parsing and the binding of call arguments to it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/function_signature.h"
#include "server/server_error.h"
#include "tests/support/test_clip.h"

namespace quillfen {

namespace {

using quillfen::server::bind_arguments;
using quillfen::server::BoundArguments;
using quillfen::server::FunctionSignature;
using quillfen::server::GivenArgument;
using quillfen::server::Parameter;
using quillfen::server::ServerError;

const char* const filter_signature = "c[sup]b[radius]i[gaussian]b[iterations]i[threshold]i";
const char* const filter_names = "valid arguments: sup, radius, gaussian, iterations, threshold";

std::string binding_error(const FunctionSignature& signature, const std::vector<GivenArgument>& arguments) {
  try {
    bind_arguments(signature, arguments);
  } catch (const ServerError& error) {
    return error.what();
  }
  return "bound without error";
}

class SignatureBinding : public ::testing::Test {
 protected:
  FunctionSignature filter{"Quillfen", filter_signature};
  PClip clip{new TestClip(yuy2_info(8, 4))};
};

TEST(SignatureParsing, ReadsKindsNamesAndRepetition) {
  const FunctionSignature signature("F", "c[strength]f.s*i+");
  const std::vector<Parameter>& parameters = signature.parameters();
  ASSERT_EQ(parameters.size(), 5u);
  EXPECT_EQ(parameters[0].kind, 'c');
  EXPECT_FALSE(parameters[0].optional());
  EXPECT_EQ(parameters[1].name, "strength");
  EXPECT_EQ(parameters[1].kind, 'f');
  EXPECT_TRUE(parameters[1].optional());
  EXPECT_EQ(parameters[2].kind, '.');
  EXPECT_EQ(parameters[3].repeat, Parameter::Repeat::zero_or_more);
  EXPECT_TRUE(parameters[3].optional());
  EXPECT_EQ(parameters[4].repeat, Parameter::Repeat::one_or_more);
  EXPECT_FALSE(parameters[4].optional());
  EXPECT_EQ(signature.find("STRENGTH"), 1u);
  EXPECT_FALSE(signature.find("c").has_value());
}

TEST(SignatureParsing, RefusesMalformedTextNamingTheFunction) {
  for (const char* text : {"cx", "c[radius", "c[radius]", "c[]i", "[a]i[a]b", "[list]i*", "*"}) {
    try {
      FunctionSignature("Blur", text);
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const ServerError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Blur: cannot register signature \"" + std::string(text) + "\"", 0),
                0u)
          << error.what();
    }
  }
}

TEST_F(SignatureBinding, OmittedOptionalArgumentsAreVoidInSignatureOrder) {
  const BoundArguments bound = bind_arguments(filter, {{nullptr, clip}});
  const AVSValue array = bound.array();
  ASSERT_TRUE(array.IsArray());
  ASSERT_EQ(array.ArraySize(), 6);
  EXPECT_EQ(array[0].AsClip().get(), clip.get());
  for (int i = 1; i < 6; ++i) EXPECT_EQ(array[i].Kind(), 'v') << i;
}

TEST_F(SignatureBinding, NamedArgumentsLandAtTheirPositionsWhateverTheOrder) {
  const BoundArguments bound =
      bind_arguments(filter, {{"threshold", 7}, {nullptr, clip}, {"Radius", 3}, {"sup", true}});
  const AVSValue array = bound.array();
  EXPECT_TRUE(array[1].AsBool(false));
  EXPECT_EQ(array[2].AsInt(0), 3);
  EXPECT_FALSE(array[3].Defined());
  EXPECT_FALSE(array[4].Defined());
  EXPECT_EQ(array[5].AsInt(0), 7);
}

TEST_F(SignatureBinding, PositionalValuesFillNamedArgumentsInOrder) {
  const BoundArguments bound = bind_arguments(filter, {{nullptr, clip}, {nullptr, true}, {nullptr, 4}});
  const AVSValue array = bound.array();
  EXPECT_TRUE(array[1].AsBool(false));
  EXPECT_EQ(array[2].AsInt(0), 4);
  EXPECT_FALSE(array[3].Defined());
}

TEST_F(SignatureBinding, UnknownNameListsTheValidNames) {
  EXPECT_EQ(binding_error(filter, {{nullptr, clip}, {"radiuss", 2}}),
            std::string("Quillfen: no argument named \"radiuss\"; ") + filter_names);
}

TEST_F(SignatureBinding, WrongKindMissingClipDuplicatesAndExtrasAreRefused) {
  EXPECT_EQ(binding_error(filter, {{nullptr, clip}, {"radius", true}}),
            std::string("Quillfen: argument \"radius\" must be an int, not a bool; ") + filter_names);
  EXPECT_EQ(binding_error(filter, {{nullptr, clip}, {"radius", 1.5}}),
            std::string("Quillfen: argument \"radius\" must be an int, not a float; ") + filter_names);
  EXPECT_EQ(binding_error(filter, {{"radius", 2}}),
            std::string("Quillfen: argument 1 (a clip) is required; ") + filter_names);
  EXPECT_EQ(binding_error(filter, {{nullptr, 5}}),
            std::string("Quillfen: argument 1 must be a clip, not an int; ") + filter_names);
  EXPECT_EQ(binding_error(filter, {{nullptr, clip}, {"radius", 2}, {"RADIUS", 3}}),
            std::string("Quillfen: argument \"radius\" is given twice; ") + filter_names);
  EXPECT_EQ(binding_error(filter, {{nullptr, clip}, {nullptr, false}, {nullptr, 2}, {"sup", true}}),
            std::string("Quillfen: argument \"sup\" is given twice; ") + filter_names);
  const std::vector<GivenArgument> too_many{{nullptr, clip}, {nullptr, false}, {nullptr, 1}, {nullptr, false},
                                            {nullptr, 1},    {nullptr, 1},     {nullptr, 1}};
  EXPECT_EQ(binding_error(filter, too_many),
            std::string("Quillfen: too many arguments given by position; ") + filter_names);
  EXPECT_EQ(binding_error(FunctionSignature("ConvertToYV12", "c"), {{nullptr, 1}}),
            "ConvertToYV12: argument 1 must be a clip, not an int; valid arguments: none by name");
}

TEST(SignatureBindingKinds, AnIntIsAcceptedForAFloatButNotTheReverse) {
  const FunctionSignature signature("Levels", "[gamma]f[steps]i");
  const BoundArguments bound = bind_arguments(signature, {{"gamma", 2}});
  const AVSValue array = bound.array();
  EXPECT_TRUE(array[0].IsFloat());
  EXPECT_EQ(array[0].AsFloat(0.0f), 2.0f);
  EXPECT_NE(binding_error(signature, {{"steps", 2.0}}).find("\"steps\" must be an int, not a float"),
            std::string::npos);
}

TEST(SignatureBindingKinds, RepeatedArgumentsBecomeNestedArrays) {
  const FunctionSignature signature("Join", "i+s*");
  const BoundArguments bound = bind_arguments(signature, {{nullptr, 1}, {nullptr, 2}, {nullptr, 3}, {nullptr, "x"}});
  const AVSValue array = bound.array();
  ASSERT_EQ(array.ArraySize(), 2);
  ASSERT_EQ(array[0].ArraySize(), 3);
  EXPECT_EQ(array[0][2].AsInt(0), 3);
  ASSERT_EQ(array[1].ArraySize(), 1);
  EXPECT_STREQ(array[1][0].AsString(""), "x");

  const BoundArguments empty = bind_arguments(FunctionSignature("Any", "c*"), {});
  const AVSValue none = empty.array();
  EXPECT_TRUE(none[0].IsArray());
  EXPECT_EQ(none[0].ArraySize(), 0);
  EXPECT_NE(binding_error(signature, {{nullptr, "x"}}).find("argument 1 must be an int, not a string"),
            std::string::npos);
  EXPECT_NE(binding_error(signature, {}).find("argument 1 (an int) is required"), std::string::npos);
}

TEST_F(SignatureBinding, BoundArgumentsKeepTheirClipsAfterTheCallersLetGo) {
  const int destroyed_before = TestClip::destroyed;
  BoundArguments bound;
  {
    std::vector<GivenArgument> arguments{{nullptr, clip}};
    clip = nullptr;
    bound = bind_arguments(filter, arguments);
  }
  EXPECT_EQ(TestClip::destroyed, destroyed_before);
  ASSERT_TRUE(bound.array()[0].AsClip());
  EXPECT_EQ(bound.array()[0].AsClip()->GetVideoInfo().width, 8);
  bound = BoundArguments();
  EXPECT_EQ(TestClip::destroyed, destroyed_before + 1);
}

}  // namespace

}  // namespace quillfen
