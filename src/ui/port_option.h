// The --port option as both front ends take it: "-p VALUE", "--port VALUE"
// or "--port=VALUE", each occurrence kept in order.  A --port without its
// value is taken as "", for the front end to refuse in its own words.
#pragma once

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace plc {

// Declares the option on app; typeName and help are the front end's own.
CLI::Option* AddPortOption(CLI::App& app, const char* typeName, const char* help);

}  // namespace plc
