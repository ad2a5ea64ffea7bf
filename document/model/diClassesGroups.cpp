#include "document/model/diClassesGroups.h"

std::unique_ptr<TClassesGroups> ClassesGroups;

int TClassesGroups::Add() {
  FGroups.emplace_back();
  return Count() - 1;
}

TElementClassList& TClassesGroups::GetGroup(int AIndex) {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(u"Class group index out of range");
  return FGroups[static_cast<size_t>(AIndex)];
}

void InitializeClassesGroups() {
  ClassesGroups = std::make_unique<TClassesGroups>();
  for (int i = 0; i < 4; ++i) ClassesGroups->Add();
}

void FinalizeClassesGroups() { ClassesGroups.reset(); }
