// The schema used when no schema file can be read: attribute types and object classes of
// the directory's core user schema (RFC 4512, RFC 4519), COSINE attributes (RFC 4524),
// inetOrgPerson (RFC 2798) and the NIS account schema (RFC 2307), in the text form of
// the schema files, so that one reader serves both.

#include "schema.h"

namespace dirschema {

const char* Schema::builtinText() {
    return R"schema(
attributetype ( 2.5.4.0 NAME 'objectClass'
	EQUALITY objectIdentifierMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )

attributetype ( 2.5.4.1 NAME ( 'aliasedObjectName' 'aliasedEntryName' )
	EQUALITY distinguishedNameMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE )

attributetype ( 2.5.4.2 NAME 'knowledgeInformation'
	EQUALITY caseIgnoreMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.41 NAME 'name'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' )
	SUP name )

attributetype ( 2.5.4.4 NAME ( 'sn' 'surname' )
	SUP name )

attributetype ( 2.5.4.5 NAME 'serialNumber'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.44 )

attributetype ( 2.5.4.6 NAME ( 'c' 'countryName' )
	SUP name
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.11 SINGLE-VALUE )

attributetype ( 2.5.4.7 NAME ( 'l' 'localityName' )
	SUP name )

attributetype ( 2.5.4.8 NAME ( 'st' 'stateOrProvinceName' )
	SUP name )

attributetype ( 2.5.4.9 NAME ( 'street' 'streetAddress' )
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.10 NAME ( 'o' 'organizationName' )
	SUP name )

attributetype ( 2.5.4.11 NAME ( 'ou' 'organizationalUnitName' )
	SUP name )

attributetype ( 2.5.4.12 NAME 'title'
	SUP name )

attributetype ( 2.5.4.13 NAME 'description'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.14 NAME 'searchGuide'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.25 )

attributetype ( 2.5.4.15 NAME 'businessCategory'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.16 NAME 'postalAddress'
	EQUALITY caseIgnoreListMatch SUBSTR caseIgnoreListSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.41 )

attributetype ( 2.5.4.17 NAME 'postalCode'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.18 NAME 'postOfficeBox'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.19 NAME 'physicalDeliveryOfficeName'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.20 NAME 'telephoneNumber'
	EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.50 )

attributetype ( 2.5.4.21 NAME 'telexNumber'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.52 )

attributetype ( 2.5.4.23 NAME 'facsimileTelephoneNumber'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.22 )

attributetype ( 2.5.4.24 NAME 'x121Address'
	EQUALITY numericStringMatch SUBSTR numericStringSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.36 )

attributetype ( 2.5.4.25 NAME 'internationaliSDNNumber'
	EQUALITY numericStringMatch SUBSTR numericStringSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.36 )

attributetype ( 2.5.4.26 NAME 'registeredAddress'
	SUP postalAddress
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.41 )

attributetype ( 2.5.4.27 NAME 'destinationIndicator'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.44 )

attributetype ( 2.5.4.28 NAME 'preferredDeliveryMethod'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.14 SINGLE-VALUE )

attributetype ( 2.5.4.49 NAME 'distinguishedName'
	EQUALITY distinguishedNameMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )

attributetype ( 2.5.4.31 NAME 'member'
	SUP distinguishedName )

attributetype ( 2.5.4.32 NAME 'owner'
	SUP distinguishedName )

attributetype ( 2.5.4.33 NAME 'roleOccupant'
	SUP distinguishedName )

attributetype ( 2.5.4.34 NAME 'seeAlso'
	SUP distinguishedName )

attributetype ( 2.5.4.35 NAME 'userPassword'
	EQUALITY octetStringMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )

attributetype ( 2.5.4.36 NAME 'userCertificate'
	EQUALITY certificateExactMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.8 )

attributetype ( 2.5.4.37 NAME 'cACertificate'
	EQUALITY certificateExactMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.8 )

attributetype ( 2.5.4.42 NAME ( 'givenName' 'gn' )
	SUP name )

attributetype ( 2.5.4.43 NAME 'initials'
	SUP name )

attributetype ( 2.5.4.44 NAME 'generationQualifier'
	SUP name )

attributetype ( 2.5.4.45 NAME 'x500UniqueIdentifier'
	EQUALITY bitStringMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.6 )

attributetype ( 2.5.4.46 NAME 'dnQualifier'
	EQUALITY caseIgnoreMatch ORDERING caseIgnoreOrderingMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.44 )

attributetype ( 2.5.4.47 NAME 'enhancedSearchGuide'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.21 )

attributetype ( 2.5.4.50 NAME 'uniqueMember'
	EQUALITY uniqueMemberMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.34 )

attributetype ( 2.5.4.51 NAME 'houseIdentifier'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.5.4.65 NAME 'pseudonym'
	SUP name )

attributetype ( 2.5.18.1 NAME 'createTimestamp'
	EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )

attributetype ( 2.5.18.2 NAME 'modifyTimestamp'
	EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )

attributetype ( 2.5.18.3 NAME 'creatorsName'
	EQUALITY distinguishedNameMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )

attributetype ( 2.5.18.4 NAME 'modifiersName'
	EQUALITY distinguishedNameMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )

attributetype ( 0.9.2342.19200300.100.1.1 NAME ( 'uid' 'userid' )
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.3 NAME ( 'mail' 'rfc822Mailbox' )
	EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 )

attributetype ( 0.9.2342.19200300.100.1.4 NAME 'info'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.5 NAME ( 'drink' 'favouriteDrink' )
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.6 NAME 'roomNumber'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.8 NAME 'userClass'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.9 NAME 'host'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.10 NAME 'manager'
	EQUALITY distinguishedNameMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )

attributetype ( 0.9.2342.19200300.100.1.20 NAME ( 'homePhone' 'homeTelephoneNumber' )
	EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.50 )

attributetype ( 0.9.2342.19200300.100.1.21 NAME 'secretary'
	EQUALITY distinguishedNameMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )

attributetype ( 0.9.2342.19200300.100.1.25 NAME ( 'dc' 'domainComponent' )
	EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE )

attributetype ( 0.9.2342.19200300.100.1.37 NAME 'associatedDomain'
	EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 )

attributetype ( 0.9.2342.19200300.100.1.39 NAME 'homePostalAddress'
	EQUALITY caseIgnoreListMatch SUBSTR caseIgnoreListSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.41 )

attributetype ( 0.9.2342.19200300.100.1.41 NAME ( 'mobile' 'mobileTelephoneNumber' )
	EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.50 )

attributetype ( 0.9.2342.19200300.100.1.42 NAME ( 'pager' 'pagerTelephoneNumber' )
	EQUALITY telephoneNumberMatch SUBSTR telephoneNumberSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.50 )

attributetype ( 0.9.2342.19200300.100.1.45 NAME 'organizationalStatus'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 0.9.2342.19200300.100.1.55 NAME 'audio'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.4 )

attributetype ( 0.9.2342.19200300.100.1.60 NAME 'jpegPhoto'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.28 )

attributetype ( 1.3.6.1.4.1.250.1.57 NAME 'labeledURI'
	EQUALITY caseExactMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.16.840.1.113730.3.1.1 NAME 'carLicense'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.16.840.1.113730.3.1.2 NAME 'departmentNumber'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.16.840.1.113730.3.1.241 NAME 'displayName'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )

attributetype ( 2.16.840.1.113730.3.1.3 NAME 'employeeNumber'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )

attributetype ( 2.16.840.1.113730.3.1.4 NAME 'employeeType'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )

attributetype ( 2.16.840.1.113730.3.1.39 NAME 'preferredLanguage'
	EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )

attributetype ( 2.16.840.1.113730.3.1.40 NAME 'userSMIMECertificate'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.5 )

attributetype ( 2.16.840.1.113730.3.1.216 NAME 'userPKCS12'
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.5 )

attributetype ( 1.3.6.1.1.1.1.0 NAME 'uidNumber'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.1 NAME 'gidNumber'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.2 NAME 'gecos'
	EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.3 NAME 'homeDirectory'
	EQUALITY caseExactIA5Match
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.4 NAME 'loginShell'
	EQUALITY caseExactIA5Match
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.5 NAME 'shadowLastChange'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.6 NAME 'shadowMin'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.7 NAME 'shadowMax'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.8 NAME 'shadowWarning'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.9 NAME 'shadowInactive'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.10 NAME 'shadowExpire'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.11 NAME 'shadowFlag'
	EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )

attributetype ( 1.3.6.1.1.1.1.12 NAME 'memberUid'
	EQUALITY caseExactIA5Match SUBSTR caseExactIA5SubstringsMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 )

objectclass ( 2.5.6.0 NAME 'top'
	ABSTRACT
	MUST objectClass )

objectclass ( 2.5.6.1 NAME 'alias'
	SUP top STRUCTURAL
	MUST aliasedObjectName )

objectclass ( 2.5.6.2 NAME 'country'
	SUP top STRUCTURAL
	MUST c
	MAY ( searchGuide $ description ) )

objectclass ( 2.5.6.3 NAME 'locality'
	SUP top STRUCTURAL
	MAY ( street $ seeAlso $ searchGuide $ st $ l $ description ) )

objectclass ( 2.5.6.4 NAME 'organization'
	SUP top STRUCTURAL
	MUST o
	MAY ( userPassword $ searchGuide $ seeAlso $ businessCategory $ telephoneNumber $ postalAddress $ postalCode $ street $ st $ l $ description ) )

objectclass ( 2.5.6.5 NAME 'organizationalUnit'
	SUP top STRUCTURAL
	MUST ou
	MAY ( userPassword $ searchGuide $ seeAlso $ businessCategory $ telephoneNumber $ postalAddress $ postalCode $ street $ st $ l $ description ) )

objectclass ( 2.5.6.6 NAME 'person'
	SUP top STRUCTURAL
	MUST ( sn $ cn )
	MAY ( userPassword $ telephoneNumber $ seeAlso $ description ) )

objectclass ( 2.5.6.7 NAME 'organizationalPerson'
	SUP person STRUCTURAL
	MAY ( title $ x121Address $ registeredAddress $ destinationIndicator $ preferredDeliveryMethod $ telexNumber $ telephoneNumber $ internationaliSDNNumber $ facsimileTelephoneNumber $ street $ postOfficeBox $ postalCode $ postalAddress $ physicalDeliveryOfficeName $ ou $ st $ l ) )

objectclass ( 2.5.6.8 NAME 'organizationalRole'
	SUP top STRUCTURAL
	MUST cn
	MAY ( seeAlso $ roleOccupant $ telephoneNumber $ street $ postalCode $ postalAddress $ ou $ st $ l $ description ) )

objectclass ( 2.5.6.9 NAME 'groupOfNames'
	SUP top STRUCTURAL
	MUST ( member $ cn )
	MAY ( businessCategory $ seeAlso $ owner $ ou $ o $ description ) )

objectclass ( 2.5.6.10 NAME 'residentialPerson'
	SUP person STRUCTURAL
	MUST l
	MAY ( businessCategory $ street $ postalCode $ postalAddress $ st ) )

objectclass ( 2.5.6.11 NAME 'applicationProcess'
	SUP top STRUCTURAL
	MUST cn
	MAY ( seeAlso $ ou $ l $ description ) )

objectclass ( 2.5.6.14 NAME 'device'
	SUP top STRUCTURAL
	MUST cn
	MAY ( serialNumber $ seeAlso $ owner $ ou $ o $ l $ description ) )

objectclass ( 2.5.6.17 NAME 'groupOfUniqueNames'
	SUP top STRUCTURAL
	MUST ( uniqueMember $ cn )
	MAY ( businessCategory $ seeAlso $ owner $ ou $ o $ description ) )

objectclass ( 1.3.6.1.4.1.1466.101.120.111 NAME 'extensibleObject'
	SUP top AUXILIARY )

objectclass ( 1.3.6.1.4.1.1466.344 NAME 'dcObject'
	SUP top AUXILIARY
	MUST dc )

objectclass ( 1.3.6.1.1.3.1 NAME 'uidObject'
	SUP top AUXILIARY
	MUST uid )

objectclass ( 0.9.2342.19200300.100.4.5 NAME 'account'
	SUP top STRUCTURAL
	MUST uid
	MAY ( description $ seeAlso $ l $ o $ ou $ host ) )

objectclass ( 0.9.2342.19200300.100.4.13 NAME 'domain'
	SUP top STRUCTURAL
	MUST dc
	MAY ( userPassword $ searchGuide $ seeAlso $ businessCategory $ telephoneNumber $ street $ postalCode $ postalAddress $ st $ l $ o $ description $ associatedDomain ) )

objectclass ( 2.16.840.1.113730.3.2.2 NAME 'inetOrgPerson'
	SUP organizationalPerson STRUCTURAL
	MAY ( audio $ businessCategory $ carLicense $ departmentNumber $ displayName $ employeeNumber $ employeeType $ givenName $ homePhone $ homePostalAddress $ initials $ jpegPhoto $ labeledURI $ mail $ manager $ mobile $ o $ pager $ roomNumber $ secretary $ uid $ userCertificate $ x500UniqueIdentifier $ preferredLanguage $ userSMIMECertificate $ userPKCS12 ) )

objectclass ( 1.3.6.1.1.1.2.0 NAME 'posixAccount'
	SUP top AUXILIARY
	MUST ( cn $ uid $ uidNumber $ gidNumber $ homeDirectory )
	MAY ( userPassword $ loginShell $ gecos $ description ) )

objectclass ( 1.3.6.1.1.1.2.1 NAME 'shadowAccount'
	SUP top AUXILIARY
	MUST uid
	MAY ( userPassword $ shadowLastChange $ shadowMin $ shadowMax $ shadowWarning $ shadowInactive $ shadowExpire $ shadowFlag $ description ) )

objectclass ( 1.3.6.1.1.1.2.2 NAME 'posixGroup'
	SUP top STRUCTURAL
	MUST ( cn $ gidNumber )
	MAY ( userPassword $ memberUid $ description ) )
)schema";
}

}  // namespace dirschema
