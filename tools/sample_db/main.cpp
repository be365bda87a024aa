// dezede-sample DIR: writes a small sample database into DIR (created when
// missing): the tables Reason and Employee, each with a LockedBy column that
// some records have set, and their RecordID indexes kept in step with the
// records. Used by the demo and handy for trying the tools.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/engine_error.h"
#include "engine/file_registry.h"
#include "engine/index_file_format.h"
#include "engine/index_slot.h"
#include "engine/table_files.h"
#include "support/endian.h"

namespace dezede {
namespace {

struct TSampleTable {
    const char* Name;
    std::vector<TFieldDescriptor> Fields;
    std::vector<std::vector<std::string>> Rows;  // one text per field; "" is NULL
};

void SetText(const TFieldDescriptor& field, std::vector<uint8_t>& record, const std::string& text) {
    if (text.empty()) return;  // new records start with every field NULL
    if (field.Type == ftdInteger) {
        uint8_t value[4];
        StoreLE32(value, static_cast<uint32_t>(std::stol(text)));
        SetFieldValue(field, record, std::span<const uint8_t>(value, 4));
        return;
    }
    SetFieldValue(field, record,
                  std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void WriteTable(TFileRegistry& registry, const std::string& dir, const TSampleTable& sample) {
    const TTableFileNames names = TTableFileNames::FromBase(dir + "/" + sample.Name);
    TTableDefinition def;
    def.Fields = sample.Fields;
    def.Description = std::string("Sample ") + sample.Name + " table";
    CreateTableFiles(registry, names, def);

    TTableFiles table(registry, names);
    table.Open();
    TDataFile& data = table.Data();
    TIndexFile& index = table.Index();
    const auto& fields = data.Fields();
    TIndexSlot primary(index, 0, fields, 0);
    std::vector<uint8_t> key(index.Index(0).KeySize);
    for (const auto& row : sample.Rows) {
        std::vector<uint8_t> record(data.Header().RecordSize, 0);
        StoreLE32(record.data() + kRecordIDOffset, static_cast<uint32_t>(data.NextRecordID()));
        for (size_t i = 0; i < row.size() && i < fields.size(); ++i) SetText(fields[i], record, row[i]);
        const uint32_t recNo = data.InsertRecord(record);
        BuildRecordKey(index.Index(0), fields, 0, record, key);
        primary.Tree().Insert(key.data(), recNo);
    }
    table.WriteChanges();
}

int Run(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::cerr << "usage: dezede-sample DIR\n";
        return argc == 2 ? 0 : 2;
    }
    const std::string dir = argv[1];
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::cerr << "dezede-sample: cannot create " << dir << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    const TSampleTable tables[] = {
        {"Reason",
         {FieldDef("Code", ftdString, 10), FieldDef("Description", ftdString, 40), FieldDef("LockedBy", ftdString, 40)},
         {{"SICK", "Sick leave", ""},
          {"HOL", "Holiday", "WS-017 (Marta)"},
          {"TRAIN", "Training", ""},
          {"OT", "Overtime", "WS-003 (Jonas)"}}},
        {"Employee",
         {FieldDef("Number", ftdInteger), FieldDef("Name", ftdString, 40), FieldDef("Department", ftdString, 20),
          FieldDef("LockedBy", ftdString, 40)},
         {{"1001", "Ada Lindqvist", "Assembly", ""},
          {"1002", "Bram Okafor", "Assembly", "WS-017 (Marta)"},
          {"1003", "Chiara Russo", "Dispatch", ""},
          {"1004", "Dev Patel", "Dispatch", "WS-003 (Jonas)"},
          {"1005", "Eino Virtanen", "Office", ""}}},
    };
    TFileRegistry registry;
    for (const TSampleTable& t : tables) WriteTable(registry, dir, t);
    std::cout << "sample database written to " << dir << "\n";
    return 0;
}

}  // namespace
}  // namespace dezede

int main(int argc, char** argv) {
    try {
        return dezede::Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "dezede-sample: " << e.what() << "\n";
        return 1;
    }
}
