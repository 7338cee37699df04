#include "app/company_export.h"

#include <vector>

#include "app/company_text.h"
#include "app/text_file.h"
#include "engine/drm.h"
#include "platform/db/field.h"
#include "platform/rtl/exceptions.h"
#include "tables/pv_table.h"

namespace quillbox {
namespace {

const char* const kCompanyTable = "Company";
const char* const kParentIndex = "index_1";
// The columns the run reads or filters on.
const char* const kCompanyColumns[] = {"Number", "Name", "InactiveAcct", "AgyCode", "fHasParentCmp", "MyParentCmp"};

void OpenCompanyTable(dac::TPvTable* Table, const std::string& Location) {
  Table->SetDatabaseName(Location);
  Table->SetTableName(kCompanyTable);
  Table->Open();
}

// A table named Company that lacks the run's columns would otherwise fail
// at the first filter with a message about one field; say what is wrong.
void CheckCompanyColumns(dac::TPvTable* Table, const std::string& Location) {
  std::string missing;
  for (const char* column : kCompanyColumns)
    if (Table->FindField(column) == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(column);
  if (!missing.empty())
    throw dac::EDatabaseError("Table " + std::string(kCompanyTable) + " at " + Location +
                              " is not a company table: it has no column " + missing);
}

void ShowStatus(IExportProgress& Progress, const std::string& Text) {
  Progress.ShowStatus(Text);
  if (Progress.StopRequested()) dac::Abort();
}

// The fields of one record of a table, looked up once per run.
struct TCompanyFields {
  explicit TCompanyFields(dac::TPvTable* Table)
      : Number(Table->FieldByName("Number")),
        Name(Table->FieldByName("Name")),
        InactiveAcct(Table->FieldByName("InactiveAcct")) {}
  dac::TField* Number;
  dac::TField* Name;
  dac::TField* InactiveAcct;
};

class TExportRun {
 public:
  TExportRun(const TExportSettings& Settings, dac::TPvTable* Cmp, dac::TPvTable* Sub, IExportProgress& Progress)
      : FSettings(Settings), FCmp(Cmp), FSub(Sub), FProgress(Progress) {}

  TExportCounts Run() {
    FNames.Rewrite(LocalOutputPath(FSettings.NameList));
    FCoded.Rewrite(FSettings.CodedList);
    CodedLine(kCodedListHeader);
    FCode = StoredAgencyCode(FSettings.AgencyCode);
    ShowStatus(FProgress, "Opening Tables");
    OpenCompanyTable(FSub, FSettings.Location);
    OpenCompanyTable(FCmp, FSettings.Location);
    CheckCompanyColumns(FCmp, FSettings.Location);
    FCmp->SetIndexName(kParentIndex);
    ShowStatus(FProgress, "Applying Main Filter");
    ApplyCompanyFilter(FCmp, ParentFilter(FCode));
    WriteParents();
    FCmp->Close();
    FNames.Close();
    FCoded.Close();
    return FCounts;
  }

 private:
  void NameLine(const std::string& Text) {
    FNames.WriteLine(Text);
    ++FCounts.NameListLines;
  }
  void CodedLine(const std::string& Text) {
    FCoded.WriteLine(Text);
    ++FCounts.CodedListLines;
  }
  // The status field goes out after a flush of the fields before it, and
  // is flushed itself before the line ends.
  void CodedLineWithStatus(const std::string& Fields, const char* Status) {
    FCoded.Write(Fields);
    FCoded.Flush();
    FCoded.Write(Status);
    FCoded.Flush();
    CodedLine(std::string());
  }

  // Each line, filter and status text is built in a buffer kept for the
  // run: one parent's cycle then allocates (almost) nothing of its own.
  void WriteParents() {
    const TCompanyFields parent(FCmp);
    const TCompanyFields sub(FSub);
    while (!FCmp->Eof()) {
      FNumber = parent.Number->AsString();
      FName.clear();
      AppendCleanName(FName, parent.Name->AsString());
      FLine.assign(FName).append(",");
      NameLine(FLine);
      FLine.assign(FNumber).append(",").append(FName).append(",");
      CodedLineWithStatus(FLine, parent.InactiveAcct->AsBoolean() ? ", ,Inactive," : ", ,Active,");
      ++FCounts.Parents;
      SetSubsidiaryFilter(FFilter, FCode, FNumber);
      FLine.assign("Applying SubFilter (").append(FNumber).append(")");
      ShowStatus(FProgress, FLine);
      ApplyCompanyFilter(FSub, FFilter);
      WriteSubsidiaries(sub);
      FCmp->Next();
    }
  }

  void WriteSubsidiaries(const TCompanyFields& Sub) {
    while (!FSub->Eof()) {
      FSubNumber = Sub.Number->AsString();
      FSubName.clear();
      AppendCleanName(FSubName, Sub.Name->AsString());
      FLine.assign(",").append(FSubName);
      NameLine(FLine);
      FLine.assign(FNumber).append(",").append(FName).append(",").append(FSubNumber).append(",").append(FSubName);
      CodedLineWithStatus(FLine, Sub.InactiveAcct->AsBoolean() ? ",Inactive," : ",Active,");
      ++FCounts.Subsidiaries;
      FSub->Next();
    }
  }

  const TExportSettings& FSettings;
  dac::TPvTable* FCmp;
  dac::TPvTable* FSub;
  IExportProgress& FProgress;
  TTextFile FNames;
  TTextFile FCoded;
  std::string FCode;
  TExportCounts FCounts;
  std::string FNumber, FName, FSubNumber, FSubName, FFilter, FLine;
};

}  // namespace

std::string LocalOutputPath(const std::string& Typed) {
  std::vector<char> buffer(1024);
  uint32_t length = 0;
  int32_t status = DrmEngineLocalPath(Typed.c_str(), buffer.data(), static_cast<uint32_t>(buffer.size()), &length);
  if (status == DRM_ERR_BUFFER_TOO_SMALL) {
    buffer.resize(length + 1);
    status = DrmEngineLocalPath(Typed.c_str(), buffer.data(), static_cast<uint32_t>(buffer.size()), &length);
  }
  if (status != 0) {
    char why[512] = {};
    uint32_t whyLength = 0;
    RareGetExtErrStr(0xFFFFFFFFu, status, why, sizeof why, &whyLength);
    throw dac::EInOutError("Cannot write to \"" + Typed + "\": " + why);
  }
  return std::string(buffer.data(), length);
}

void ApplyCompanyFilter(dac::TPvTable* Table, const std::string& Filter) {
  // A new text on a filtered table re-filters and moves to the first record,
  // and switching filtering on moves there too; each move is a seek, so ask
  // for exactly one.
  const bool newText = Filter != Table->Filter();
  Table->SetFilter(Filter);
  if (!Table->Filtered())
    Table->SetFiltered(true);
  else if (!newText)
    Table->First();
}

TExportCounts RunCompanyExport(const TExportSettings& Settings, dac::TPvTable* tblCmp, dac::TPvTable* tblSub,
                               IExportProgress& Progress) {
  return TExportRun(Settings, tblCmp, tblSub, Progress).Run();
}

}  // namespace quillbox
