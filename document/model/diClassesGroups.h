// Class groups: lists of element classes allowed together as children. The engine makes four empty groups at
// start-up; element units add groups and classes and keep the indexes of the groups they made.
#pragma once

#include "document/model/diClasses.h"

#include <algorithm>
#include <memory>
#include <vector>

class TClassesGroups : public TObject {
 public:
  // Appends an empty group and returns its index.
  int Add();
  TElementClassList& GetGroup(int AIndex);
  int Count() const { return static_cast<int>(FGroups.size()); }

 private:
  std::vector<TElementClassList> FGroups;
};

// The program's class groups, alive between InitializeClassesGroups and FinalizeClassesGroups.
extern std::unique_ptr<TClassesGroups> ClassesGroups;
// Makes the groups with their four empty groups.
void InitializeClassesGroups();
void FinalizeClassesGroups();

// Appends AItem unless it is present.
template <class T>
void AddUnique(std::vector<T>& AList, const T& AItem) {
  if (std::find(AList.begin(), AList.end(), AItem) == AList.end()) AList.push_back(AItem);
}

// Every item of ASource through AddUnique.
template <class T>
void AddListUnique(std::vector<T>& AList, const std::vector<T>& ASource) {
  for (const T& item : ASource) AddUnique(AList, item);
}
