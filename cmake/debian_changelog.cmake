# Writes the Debian changelog of the package from NEWS.md: one entry, for
# the version packaged, holding that version's section.
#   cmake -DNEWS=NEWS.md -DVERSION=X.Y.Z -DMAINTAINER="Name <address>"
#         -DOUTPUT=changelog -P cmake/debian_changelog.cmake
#
# The section's heading is "## X.Y.Z (YYYY-MM-DD)"; the entry is dated that
# day, so that the text depends on NEWS.md alone and two builds agree.
file(STRINGS "${NEWS}" lines ENCODING UTF-8)
set(in_section FALSE)
set(date "")
set(body "")
foreach(line IN LISTS lines)
  if(line MATCHES "^## ")
    if(in_section)
      break()
    endif()
    string(REPLACE "." "\\." version_pattern "${VERSION}")
    if(line MATCHES "^## ${version_pattern}( |$)" AND
       line MATCHES "([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])")
      set(in_section TRUE)
      set(date_parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
    endif()
  elseif(in_section)
    # "- item" and its continued lines become "  * item" and "    ...".
    string(REGEX REPLACE "^- " "* " line "${line}")
    if(line STREQUAL "")
      string(APPEND body "\n")
    else()
      string(APPEND body "  ${line}\n")
    endif()
  endif()
endforeach()
if(NOT in_section)
  message(FATAL_ERROR "${NEWS} has no section \"## ${VERSION} (YYYY-MM-DD)\"")
endif()
string(STRIP "${body}" body)

# Days since 1970-01-01 of a civil date (the proleptic Gregorian calendar,
# years from 1970 on), then the day as a changelog writes it.
list(GET date_parts 0 year)
list(GET date_parts 1 month)
list(GET date_parts 2 day)
# "09" as a number: math() reads it as decimal, without the zero.
math(EXPR month "${month}")
math(EXPR day "${day}")
if(month LESS_EQUAL 2)
  math(EXPR year "${year} - 1")
  math(EXPR shifted_month "${month} + 9")
else()
  math(EXPR shifted_month "${month} - 3")
endif()
math(EXPR era "${year} / 400")
math(EXPR year_of_era "${year} - ${era} * 400")
math(EXPR day_of_year "(153 * ${shifted_month} + 2) / 5 + ${day} - 1")
math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
math(EXPR seconds "${days} * 86400")
set(ENV{SOURCE_DATE_EPOCH} "${seconds}")
string(TIMESTAMP stamp "%a, %d %b %Y %H:%M:%S +0000" UTC)

file(WRITE "${OUTPUT}" "d88unpack (${VERSION}) unstable; urgency=medium

  ${body}

 -- ${MAINTAINER}  ${stamp}
")
