#include "layout/layout_schema.h"

namespace vantu::branding_package {

namespace {

constexpr char kSchema[] = R"(<?xml version="1.0" encoding="utf-8"?>
<xs:schema attributeFormDefault="unqualified" elementFormDefault="qualified" xmlns:xs="http://www.w3.org/2001/XMLSchema">
    <xs:element name="vantu-client-branding">
        <xs:complexType>
            <xs:sequence>
                <xs:element name="app-name" type="xs:string" />
                <xs:element name="app-icon" type="xs:string" />
                <xs:element name="toolbar-menu">
                    <xs:complexType>
                        <xs:sequence>
                            <xs:element name="about-item" type="xs:string" />
                            <xs:element name="quit-item" type="xs:string" />
                        </xs:sequence>
                    </xs:complexType>
                </xs:element>
                <xs:element name="about">
                    <xs:complexType>
                        <xs:sequence>
                            <xs:element maxOccurs="unbounded" name="line">
                                <xs:complexType>
                                    <xs:sequence>
                                        <xs:choice maxOccurs="unbounded">
                                            <xs:element name="hyperlink">
                                                <xs:complexType>
                                                    <xs:simpleContent>
                                                        <xs:extension base="xs:string">
                                                            <xs:attribute name="url" type="xs:string" use="required" />
                                                        </xs:extension>
                                                    </xs:simpleContent>
                                                </xs:complexType>
                                            </xs:element>
                                            <xs:element name="text" type="xs:string" />
                                            <xs:element name="logo" type="xs:string" />
                                        </xs:choice>
                                    </xs:sequence>
                                    <xs:attribute name="align" type="xs:string" use="required" />
                                </xs:complexType>
                            </xs:element>
                        </xs:sequence>
                        <xs:attribute name="title" type="xs:string" use="required" />
                        <xs:attribute name="minWidth" type="xs:unsignedByte" />
                    </xs:complexType>
                </xs:element>
            </xs:sequence>
            <xs:attribute name="version" type="xs:decimal" use="required" />
        </xs:complexType>
    </xs:element>
</xs:schema>)";

}  // namespace

const std::string_view XmlLayoutSchema(kSchema, sizeof kSchema - 1);

}  // namespace vantu::branding_package
